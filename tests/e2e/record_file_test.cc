// pellarin --record: live traffic kept as a datagram file that reads back
// to the same traces, written like pellarin-sim record's, and rotated by
// SIGUSR1 without a line cut.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "intake/datagram_file.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string PELLARIN = PELLARIN_BINARY;
const std::string SIM = PELLARIN_SIM_BINARY;

// The datagrams of a datagram file, in order; the test fails at a fault.
std::vector<std::string> datagrams_in(const std::string& path) {
  std::vector<std::string> datagrams;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return datagrams;
  }
  DatagramFileReader reader(in, path);
  DatagramRecord record;
  while (reader.next(record)) datagrams.emplace_back(record.view());
  std::fclose(in);
  EXPECT_EQ(reader.error(), "");
  return datagrams;
}

// Waits until the files together hold `count` datagrams.
bool wait_for_datagrams(const std::vector<std::string>& paths, std::size_t count) {
  for (int waited = 0; waited < 15000; waited += 50) {
    std::size_t held = 0;
    for (const std::string& path : paths) {
      std::istringstream lines(read_file(path));
      for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') ++held;
    }
    if (held >= count) return true;
    usleep(50000);
  }
  return false;
}

// The file with the "@MS " of every line taken out: what two recordings of
// the same traffic share.
std::string without_times(const std::string& text) {
  std::istringstream lines(text);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("@")) line.erase(0, line.find(' ') + 1);
    kept += line + "\n";
  }
  return kept;
}

class RecordFile : public ::testing::Test {
 protected:

  TestDir work_;
  std::string dir_ = work_.path();

  // A generated session of every kind of report.
  std::string session(int count) {
    const std::string file = dir_ + "/session.dgrams";
    const ProcessResult generated = run_process(
        {SIM, "generate", "--seed", "11", "--count", std::to_string(count), "--write", file});
    EXPECT_EQ(generated.status, 0) << generated.err;
    return file;
  }
};

TEST_F(RecordFile, ReadingTheRecordGivesTheLiveTraces) {
  const std::string played = session(300);
  const std::string record = dir_ + "/evening.dgrams";
  const std::vector<std::string> options{"-k", "-m", "-d", "-W", "-j", "-S", "-r"};
  ScopedProcess sim(spawn_process(
      {SIM, "replay", played, "--bind", test_address(106, 1), "--rate", "500", "--exit-when-done"},
      dir_ + "/sim.out", dir_ + "/sim.err"));
  std::vector<std::string> live{PELLARIN, "0",  test_address(106, 1),       "--record",
                                record,   "-O", dir_ + "/live.txt"};
  live.insert(live.end(), options.begin(), options.end());
  ScopedProcess client(spawn_process(live, dir_ + "/client.out", dir_ + "/client.err", {"TZ=UTC"}));
  EXPECT_EQ(sim.wait(20000), 0) << read_file(dir_ + "/sim.err");
  EXPECT_TRUE(wait_for_datagrams({record}, 300));
  EXPECT_EQ(client.stop(SIGTERM), 128 + SIGTERM);
  EXPECT_EQ(read_file(dir_ + "/client.err"), "");
  EXPECT_EQ(datagrams_in(record), datagrams_in(played));

  std::vector<std::string> replayed{PELLARIN, "0", "--read", record, "-O", dir_ + "/read.txt"};
  replayed.insert(replayed.end(), options.begin(), options.end());
  const ProcessResult read = run_process(replayed);
  EXPECT_EQ(read.status, 0) << read.out;
  const std::string live_trace = read_file(dir_ + "/live.txt");
  EXPECT_GT(live_trace.size(), 10000u);
  EXPECT_EQ(read_file(dir_ + "/read.txt"), live_trace);
}

TEST_F(RecordFile, ClientAndEmulatorWriteTheSameRecord) {
  const std::string played = session(120);
  const std::string by_client = dir_ + "/client.dgrams";
  const std::string by_sim = dir_ + "/sim-record.dgrams";
  // The service sends nothing until both subscribers are in, so both
  // records hold every datagram however slowly either program starts.
  ScopedProcess sim(spawn_process({SIM, "replay", played, "--bind", test_address(106, 2), "--rate", "400",
                                   "--subscribers", "2", "--exit-when-done"},
                                  dir_ + "/sim.out", dir_ + "/sim.err"));
  ASSERT_TRUE(wait_for_text(dir_ + "/sim.err", "listening on", 5000));
  ScopedProcess client(spawn_process({PELLARIN, "0", test_address(106, 2), "-q", "--record", by_client},
                                     dir_ + "/client.out", dir_ + "/client.err"));
  ScopedProcess recorder(spawn_process({SIM, "record", "--node", test_address(106, 2), "--out", by_sim},
                                       dir_ + "/recorder.out", dir_ + "/recorder.err"));
  EXPECT_EQ(sim.wait(20000), 0) << read_file(dir_ + "/sim.err");
  EXPECT_NE(read_file(dir_ + "/sim.err").find("to 2 subscribers"), std::string::npos)
      << read_file(dir_ + "/sim.err");
  EXPECT_TRUE(wait_for_datagrams({by_client}, 120));
  EXPECT_TRUE(wait_for_datagrams({by_sim}, 120)) << read_file(dir_ + "/recorder.err");
  client.stop(SIGTERM);
  EXPECT_EQ(recorder.stop(SIGTERM), 0);

  const std::string client_text = read_file(by_client);
  EXPECT_TRUE(client_text.starts_with("# recorded from " + test_address(106, 2) + ":7373, port 0\n@")) << client_text;
  EXPECT_EQ(without_times(client_text), without_times(read_file(by_sim)));
}

TEST_F(RecordFile, SigusrOneReopensWithoutCuttingALine) {
  const std::string played = session(300);
  const std::string record = dir_ + "/rotated.dgrams";
  ScopedProcess sim(spawn_process(
      {SIM, "replay", played, "--bind", test_address(106, 3), "--rate", "300", "--exit-when-done"},
      dir_ + "/sim.out", dir_ + "/sim.err"));
  ScopedProcess client(spawn_process({PELLARIN, "0", test_address(106, 3), "-q", "--record", record},
                                     dir_ + "/client.out", dir_ + "/client.err"));
  ASSERT_TRUE(wait_for_datagrams({record}, 60));
  ASSERT_EQ(std::rename(record.c_str(), (record + ".1").c_str()), 0);
  kill(client.pid(), SIGUSR1);
  EXPECT_EQ(sim.wait(20000), 0) << read_file(dir_ + "/sim.err");
  EXPECT_TRUE(wait_for_datagrams({record + ".1", record}, 300));
  client.stop(SIGTERM);

  const std::string old_text = read_file(record + ".1");
  const std::string new_text = read_file(record);
  ASSERT_FALSE(old_text.empty());
  EXPECT_EQ(old_text.back(), '\n');
  EXPECT_TRUE(new_text.starts_with("# recorded from " + test_address(106, 3) + ":7373, port 0\n@")) << new_text;
  std::vector<std::string> datagrams = datagrams_in(record + ".1");
  const std::vector<std::string> after = datagrams_in(record);
  EXPECT_FALSE(after.empty());
  datagrams.insert(datagrams.end(), after.begin(), after.end());
  EXPECT_EQ(datagrams, datagrams_in(played));
  EXPECT_EQ(read_file(dir_ + "/client.err"), "");
}

}  // namespace
