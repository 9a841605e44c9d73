# Third-party libraries. Linux takes Debian's packages, but for CivetWeb;
# the Windows build compiles the same sources for mingw inside the build
# tree. scripts/windows-deps fetches the sources into build/deps.
set(LUD_DEPS ${PROJECT_SOURCE_DIR}/build/deps)
if(WIN32)
  if(BUILD_TESTING OR NOT DEFINED BUILD_TESTING)
    # GoogleTest from the sources Debian's googletest package ships.
    set(LUD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${LUD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/deps/googletest EXCLUDE_FROM_ALL)
    # GoogleTest 1.11 and later name their targets GTest::gtest themselves.
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  endif()

  # jsoncpp from Debian's source package, fetched into the build tree by
  # scripts/windows-deps; RapidJSON's headers linked beside it.
  if(NOT EXISTS ${LUD_DEPS}/src/jsoncpp/include/json/json.h)
    message(FATAL_ERROR "Run scripts/windows-deps first (make windows does).")
  endif()
  file(GLOB JSONCPP_SOURCES ${LUD_DEPS}/src/jsoncpp/src/lib_json/*.cpp)
  add_library(lud_jsoncpp STATIC ${JSONCPP_SOURCES})
  target_include_directories(lud_jsoncpp SYSTEM PUBLIC ${LUD_DEPS}/src/jsoncpp/include)
  target_compile_options(lud_jsoncpp PRIVATE -w)
  add_library(lud_json INTERFACE)
  target_link_libraries(lud_json INTERFACE lud_jsoncpp)
  target_include_directories(lud_json SYSTEM INTERFACE ${LUD_DEPS}/include)
else()
  find_package(GTest)
  find_package(jsoncpp REQUIRED)
  find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h REQUIRED)
  add_library(lud_json INTERFACE)
  target_link_libraries(lud_json INTERFACE JsonCpp::JsonCpp)
  target_include_directories(lud_json INTERFACE ${RAPIDJSON_INCLUDE_DIR})
endif()

# CivetWeb, on both platforms, from the sources of Debian's civetweb source
# package (fetched into the build tree by scripts/windows-deps), with two
# patches of ours, in this order: the accept_connection callback, which lets
# HttpServer close a connection on the master thread before a worker thread
# is spent on it; and, on Windows, a graceful close that waits in a receive
# rather than a select, which Wine's server could not bear under load.
# The patched copy lives in this build tree; the fetched sources stay as
# Debian ships them.
set(LUD_CIVETWEB_SOURCE ${LUD_DEPS}/src/civetweb)
if(NOT EXISTS ${LUD_CIVETWEB_SOURCE}/src/civetweb.c)
  message(FATAL_ERROR "Run scripts/windows-deps first (make does).")
endif()
set(LUD_CIVETWEB_PATCHES ${PROJECT_SOURCE_DIR}/cmake/civetweb-accept-connection.patch
                         ${PROJECT_SOURCE_DIR}/cmake/civetweb-drain-with-receive-timeout.patch)
set(LUD_CIVETWEB ${CMAKE_BINARY_DIR}/deps/civetweb)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LUD_CIVETWEB_PATCHES}
             ${LUD_CIVETWEB_SOURCE}/src/civetweb.c ${LUD_CIVETWEB_SOURCE}/include/civetweb.h)
set(stale NOT EXISTS ${LUD_CIVETWEB}/patched)
foreach(newer ${LUD_CIVETWEB_PATCHES} ${LUD_CIVETWEB_SOURCE}/src/civetweb.c)
  list(APPEND stale OR ${newer} IS_NEWER_THAN ${LUD_CIVETWEB}/patched)
endforeach()
if(${stale})
  file(REMOVE_RECURSE ${LUD_CIVETWEB})
  file(COPY ${LUD_CIVETWEB_SOURCE}/src/civetweb.c DESTINATION ${LUD_CIVETWEB}/src)
  file(COPY ${LUD_CIVETWEB_SOURCE}/include/civetweb.h DESTINATION ${LUD_CIVETWEB}/include)
  foreach(civetweb_patch ${LUD_CIVETWEB_PATCHES})
    execute_process(COMMAND patch -p1 -s -i ${civetweb_patch}
                    WORKING_DIRECTORY ${LUD_CIVETWEB} RESULT_VARIABLE patch_result)
    if(NOT patch_result EQUAL 0)
      message(FATAL_ERROR "${civetweb_patch} does not apply to ${LUD_CIVETWEB_SOURCE}")
    endif()
  endforeach()
  file(TOUCH ${LUD_CIVETWEB}/patched)
endif()
add_library(lud_civetweb STATIC ${LUD_CIVETWEB}/src/civetweb.c)
target_include_directories(lud_civetweb SYSTEM PUBLIC ${LUD_CIVETWEB}/include)
# The files civetweb.c includes beside itself.
target_include_directories(lud_civetweb PRIVATE ${LUD_CIVETWEB_SOURCE}/src)
target_compile_definitions(lud_civetweb PRIVATE NO_SSL NO_CGI)
target_compile_options(lud_civetweb PRIVATE -w)
if(WIN32)
  target_link_libraries(lud_civetweb PUBLIC ws2_32)
else()
  # Left uninstrumented in the sanitizer and fuzz builds, as the system
  # library was: its own races and leaks are not ours to report.
  target_compile_options(lud_civetweb PRIVATE -fno-sanitize=all)
  # Its Date and Last-Modified headers through gmtime_r: plain gmtime shares
  # one static buffer in libc between the worker threads serving files at
  # once. (Windows' C runtime keeps gmtime's buffer per thread.)
  target_compile_definitions(lud_civetweb PRIVATE REENTRANT_TIME)
  target_link_libraries(lud_civetweb PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
endif()
