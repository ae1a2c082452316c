# GoogleTest for the machine the tests run on: the installed package for a
# native build, or built from Debian's sources (/usr/src/googletest, package
# googletest) when cross-compiling, since the host's libraries cannot link
# into the target's programs. Either way the targets are GTest::gtest and
# GTest::gtest_main (GoogleTest's own build defines both names).
if(TARGET GTest::gtest)
  return()
endif()

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

set(GOOGLETEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH
  "GoogleTest's sources, built for the target when cross-compiling")
if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${GOOGLETEST_SOURCE_DIR}: install Debian's googletest package")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest is not ours to keep warning-free under the project's flags.
set_target_properties(gtest gtest_main PROPERTIES COMPILE_OPTIONS "")
