# Cross-compiling for 64-bit Windows: the twin of the i686 build, tested
# under 64-bit Wine on machines that cannot run 32-bit programs.
set(LUD_MINGW_PROCESSOR x86_64)
set(LUD_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
