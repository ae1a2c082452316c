# GoogleTest for the machine the tests run on. Debian's libgtest-dev holds
# libraries for the build machine only, so a cross build compiles GoogleTest
# from Debian's sources (package googletest) with the cross compiler.
# Included in every directory that defines tests: it provides GTest::gtest
# and GTest::gtest_main either way, and the GoogleTest module, whose
# gtest_discover_tests needs the include in the directory that calls it.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING AND NOT TARGET gtest)
  set(PELLARIN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources, compiled for the target in a cross build")
  if(NOT EXISTS ${PELLARIN_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR
      "A cross build needs GoogleTest's sources in ${PELLARIN_GOOGLETEST_SOURCE} "
      "(Debian package googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PELLARIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own code is not held to this project's warning flags.
  foreach(library gtest gtest_main)
    target_compile_options(${library} PRIVATE -w)
  endforeach()
  # GoogleTest's own build names these aliases in its newer releases.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
elseif(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
endif()
