# Third-party libraries. Linux takes Debian's packages; the Windows build
# compiles the same sources for mingw inside the build tree.
if(WIN32)
  if(BUILD_TESTING OR NOT DEFINED BUILD_TESTING)
    # GoogleTest from the sources Debian's googletest package ships.
    set(LUD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${LUD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/deps/googletest EXCLUDE_FROM_ALL)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest)
endif()
