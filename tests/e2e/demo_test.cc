// The demo script starts the emulator and the client, and Ctrl-C ends both.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string DEMO_ADDRESS = test_address(104, 1);

// "HH:MM:" of this machine's UTC clock, `offset` seconds away.
std::string utc_minute(std::time_t offset) {
  const std::time_t at = std::time(nullptr) + offset;
  std::tm utc{};
  gmtime_r(&at, &utc);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M:", &utc);
  return text;
}

// Processes whose command line names the demo's address.
int processes_of_the_demo() {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmdline = read_file("/proc/" + name + "/cmdline");
    for (char& c : cmdline)
      if (c == '\0') c = ' ';
    if (cmdline.find(DEMO_ADDRESS) != std::string::npos) ++count;
  }
  closedir(proc);
  return count;
}

TEST(Demo, StartsBothProgramsAndCtrlCEndsThemAll) {
  const TestDir work;
  const std::string dir = work.path();
  const pid_t demo =
      spawn_process({"/bin/sh", PELLARIN_SOURCE_DIR "/tools/demo.sh"}, dir + "/out", dir + "/err",
                    {"PELLARIN_BIN_DIR=" PELLARIN_BUILD_DIR,
                     std::string("PELLARIN_DEMO_ADDRESS=") + DEMO_ADDRESS},
                    true);
  // Traffic reaches the client: some frame between two of the demo's calls.
  EXPECT_TRUE(wait_for_text(dir + "/out", "N0DE", 15000)) << read_file(dir + "/err");
  // Stamped with the time they were sent, as a real node's reports are.
  const std::string out = read_file(dir + "/out");
  EXPECT_TRUE(out.find(utc_minute(0)) != std::string::npos ||
              out.find(utc_minute(-60)) != std::string::npos)
      << out;
  EXPECT_EQ(processes_of_the_demo(), 2);

  // Ctrl-C reaches the terminal's whole foreground group.
  kill(-demo, SIGINT);
  EXPECT_EQ(wait_process(demo, 5000), 130);
  for (int waited = 0; waited < 2000 && processes_of_the_demo() > 0; waited += 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(processes_of_the_demo(), 0);
  kill(-demo, SIGKILL);
}

}  // namespace
