# Cross-compiling for 32-bit Windows, the build schools install.
set(LUD_MINGW_PROCESSOR i686)
set(LUD_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
# Tests run the .exe files under Wine with the build tree's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
