// SIGUSR1 reopens the capture file, so logrotate loses no line.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

TEST(LogRotation, RenamedAndNewFileTogetherHoldEveryTraceWhole) {
  constexpr int REPORTS = 300;
  const TestDir work;
  const std::string dir = work.path();
  const std::string capture = dir + "/trace.log";
  std::string datagrams;
  std::set<std::string> expected;
  for (int i = 0; i < REPORTS; ++i) {
    char call[16];
    std::snprintf(call, sizeof call, "N%04d", i);
    datagrams += std::string(R"(d {"@type":"NodeStatus","nodeCall":")") + call +
                 R"(","uptimeSecs":)" + std::to_string(i) + "}\n";
    expected.insert(std::string(call) + " <NODE STATUS>\n");
    expected.insert("   up=" + std::to_string(i) + "s\n");
  }
  write_file(dir + "/in.dgrams", datagrams);
  const pid_t sim = spawn_process({PELLARIN_SIM_BINARY, "replay", dir + "/in.dgrams", "--bind",
                                   test_address(102, 1), "--rate", "150"},
                                  dir + "/sim.out", dir + "/sim.err");
  const pid_t client = spawn_process(
      {PELLARIN_BINARY, "0", test_address(102, 1), "-q", "-d", "-c", "-s", "-L", "-O", capture},
      dir + "/client.out", dir + "/client.err");

  ASSERT_TRUE(wait_for_text(capture, "N0050", 10000));
  ASSERT_EQ(std::rename(capture.c_str(), (capture + ".1").c_str()), 0);
  kill(client, SIGUSR1);
  ASSERT_TRUE(wait_for_text(dir + "/sim.err", "sent 300 datagrams", 15000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stop_process(client, SIGTERM);
  stop_process(sim, SIGTERM);

  const std::string old_text = read_file(capture + ".1");
  const std::string new_text = read_file(capture);
  ASSERT_FALSE(new_text.empty());
  // Each file ends on a whole report: a node report's last line.
  EXPECT_EQ(old_text.back(), '\n');
  std::multiset<std::string> lines;
  for (const std::string& text : {old_text, new_text}) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("Showing frames", 0) == 0 || line.rfind("Including node", 0) == 0 ||
          line.rfind("Time stamp", 0) == 0 || line.rfind("Suppressing", 0) == 0)
        continue;
      lines.insert(line + "\n");
    }
  }
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected);
  EXPECT_EQ(lines.size(), expected.size());
  EXPECT_EQ(read_file(dir + "/client.err"), "");
}

}  // namespace
