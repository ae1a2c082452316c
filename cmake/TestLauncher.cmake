# How tests start the programs of this build tree: through the cross build's
# emulator (CMAKE_CROSSCOMPILING_EMULATOR, e.g. qemu-user), or directly on a
# native build. The interface library pellarin_test_launcher hands the tests
# the launcher's words (blank-separated, empty natively), the build tree the
# rule applies to, and a time scale for waits that emulation slows down.
include_guard(GLOBAL)

set(PELLARIN_TEST_TIME_SCALE 1 CACHE STRING
  "Factor for the waits in tests that start programs (emulated runs are slower)")

set(launcher_words "")
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(launcher_words ${CMAKE_CROSSCOMPILING_EMULATOR})
  # Child processes are started with execve, which does not search PATH.
  list(GET launcher_words 0 launcher_program)
  find_program(PELLARIN_LAUNCHER_PROGRAM ${launcher_program} REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  list(REMOVE_AT launcher_words 0)
  list(PREPEND launcher_words ${PELLARIN_LAUNCHER_PROGRAM})
  foreach(word IN LISTS launcher_words)
    if(word MATCHES "[ \t]")
      message(FATAL_ERROR "The test launcher's words must not hold blanks: '${word}'")
    endif()
  endforeach()
endif()
list(JOIN launcher_words " " launcher_text)

add_library(pellarin_test_launcher INTERFACE)
target_include_directories(pellarin_test_launcher INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(pellarin_test_launcher INTERFACE
  PELLARIN_TEST_LAUNCHER="${launcher_text}"
  PELLARIN_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}/"
  PELLARIN_TEST_TIME_SCALE=${PELLARIN_TEST_TIME_SCALE})
