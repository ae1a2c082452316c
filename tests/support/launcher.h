// Starting the programs of this build tree the way this machine can: a
// cross build's programs run under its emulator (qemu-user), a native
// build's directly. CMake supplies the launcher (cmake/TestLauncher.cmake).
#pragma once

#include <sstream>
#include <string>
#include <vector>

// The launcher's words separated by blanks; empty for a native build.
inline constexpr char TEST_LAUNCHER[] = PELLARIN_TEST_LAUNCHER;

// Emulation makes start-up and every datagram slower: waits for a program
// to do something are multiplied by this, what is awaited stays the same.
inline constexpr int TEST_TIME_SCALE = PELLARIN_TEST_TIME_SCALE;

constexpr int scaled_ms(int ms) { return ms * TEST_TIME_SCALE; }

// argv with the launcher's words before it when argv[0] is a program built
// in this tree; host programs such as /bin/sh are left as they are.
inline std::vector<std::string> with_launcher(const std::vector<std::string>& argv) {
  const std::string build_dir = PELLARIN_TEST_BUILD_DIR;
  if (argv.empty() || argv[0].compare(0, build_dir.size(), build_dir) != 0) return argv;
  std::vector<std::string> launched;
  std::istringstream words(TEST_LAUNCHER);
  for (std::string word; words >> word;) launched.push_back(word);
  launched.insert(launched.end(), argv.begin(), argv.end());
  return launched;
}
