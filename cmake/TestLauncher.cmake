# How tests start the programs of this build tree: through the cross build's
# emulator (CMAKE_CROSSCOMPILING_EMULATOR, e.g. qemu-user), or directly on a
# native build. Included after pellarin_test_environment is made: that
# interface library then also hands the tests the launcher's words
# (blank-separated, empty natively), the build tree they apply to, and a time
# scale for the waits that emulation slows down.

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

target_compile_definitions(pellarin_test_environment INTERFACE
  PELLARIN_TEST_LAUNCHER="${launcher_text}"
  PELLARIN_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}/"
  PELLARIN_TEST_TIME_SCALE=${PELLARIN_TEST_TIME_SCALE})
