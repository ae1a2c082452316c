// The Windows client (pellarin.exe) under Wine, driven from this machine:
// start-up texts and exit statuses, the subscription, a live session with
// its renewal and traces, Ctrl-C, the capture file's CR LF line ends, and
// the heard file saved at the end and read at the next start.
// Wine hands a SIGINT to the program as the console's Ctrl-C event; other
// signals end a Wine process without telling the program.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string SIM = PELLARIN_SIM_BINARY;

// Set by the Windows build's test registration; without them there is no
// Windows client to run.
std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class WindowsClient : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = environment("PELLARIN_WINDOWS_CLIENT");
    launcher_ = environment("PELLARIN_WINDOWS_LAUNCHER");
    if (client_.empty() || launcher_.empty())
      GTEST_SKIP() << "PELLARIN_WINDOWS_CLIENT and PELLARIN_WINDOWS_LAUNCHER name no client";
    dir_ = directory_.path();
  }

  // A failed assertion leaves nothing running.
  void TearDown() override {
    for (const pid_t pid : started_)
      if (wait_process(pid, 0) == -1000) stop_process(pid, SIGKILL);
  }

  std::vector<std::string> command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{launcher_, client_};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  pid_t start(const std::vector<std::string>& args) {
    started_.push_back(spawn_process(command(args), out(), err(), {"TZ=UTC"}));
    return started_.back();
  }

  pid_t start_sim(const std::string& address, const std::string& datagrams) {
    write_file(dir_ + "/sim.dgrams", datagrams);
    started_.push_back(
        spawn_process({SIM, "replay", dir_ + "/sim.dgrams", "--bind", address, "--pace", "fast"},
                      dir_ + "/sim.out", sim_log()));
    return started_.back();
  }

  std::string out() const { return dir_ + "/client.out"; }
  std::string err() const { return dir_ + "/client.err"; }
  std::string sim_log() const { return dir_ + "/sim.err"; }

  std::string client_;
  std::string launcher_;
  TestDir directory_;
  std::string dir_;
  std::vector<pid_t> started_;
};

const std::string BANNER =
    "\033[2J\nPellarin - Packet Tracing Client for Korvane\n"
    "Version 1.0 (c) 2026 the Pellarin developers, free software\n\n";

const std::string START_LINE = "\nPellarin v1.0 started. Use ctrl-c to exit...\n";

std::string title(int port) { return "\033]0;Pellarin (" + std::to_string(port) + ")\a"; }

TEST_F(WindowsClient, StartupTextsAndStatuses) {
  ProcessResult result = run_process(command({}), 30000);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out.rfind(BANNER + "Usage: ", 0), 0U) << result.out;
  EXPECT_NE(result.out.find("  [ip_address] is that of Korvane's host machine (default "
                            "127.0.0.1)\n\nUse '"),
            std::string::npos);
  // Standard output is binary: the same LF line ends as on Linux.
  EXPECT_EQ(result.out.find('\r'), std::string::npos);

  result = run_process(command({"-h"}), 30000);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind(BANNER + "Usage: pellarin [qv_port [ip_address]] [options]\n\n", 0),
            0U);
  EXPECT_NE(result.out.find("   -x              Korvane 'classic' trace format\n\n"),
            std::string::npos);

  result = run_process(command({"0", "127.11.2.9", "-o", "/nonexistent-dir/capture.txt"}), 30000);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER + "Can't open capture file '/nonexistent-dir/capture.txt'\n");
  EXPECT_EQ(result.err, "/nonexistent-dir/capture.txt: No such file or directory\n");

  // The node's host: a name that cannot be found, a number above 255, an
  // unknown long option; each before anything is opened.
  result = run_process(command({"0", "nosuch.invalid"}), 30000);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER + "Can't find node host 'nosuch.invalid'\n");
  result = run_process(command({"-c", "0", "999.1.1.1"}), 30000);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER + "Can't find node host '999.1.1.1' (each number is 0 to 255)\n");
  result = run_process(command({"0", "--foo"}), 30000);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER + "Unknown option '--foo' (see 'pellarin --help')\n");

  // A UDP socket may not be connected to the broadcast address without
  // asking: a socket call's failure, reported as perror does on Linux.
  result = run_process(command({"0", "255.255.255.255", "-c"}), 30000);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, BANNER);
  EXPECT_EQ(result.err, "connect: Permission denied\n");
}

const std::string NODE_UP =
    R"(d {"@type":"NodeUpEvent","nodeCall":"N0DE","nodeAlias":"HUB","time":45296})"
    "\n";

TEST_F(WindowsClient, LiveSessionOverLoopback) {
  const pid_t sim = start_sim("127.11.2.1", NODE_UP);
  const std::string capture = dir_ + "/capture.txt";
  const std::string record = dir_ + "/record.dgrams";
  const pid_t client = start({"300", "127.11.2.1", "-d", "-O", capture, "--record", record});

  ASSERT_TRUE(wait_for_text(sim_log(), "subscribed ", 20000)) << read_file(sim_log());
  EXPECT_NE(read_file(sim_log()).find("port 300 (bytes 01 2c)"), std::string::npos)
      << read_file(sim_log());
  const auto first = std::chrono::steady_clock::now();
  ASSERT_TRUE(wait_for_text(out(), "12:34:56 N0DE:HUB <NODE UP>\n", 5000)) << read_file(out());

  ASSERT_TRUE(wait_for_text(sim_log(), "renewed ", 15000)) << read_file(sim_log());
  const double gap =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
  EXPECT_GT(gap, 9.0);
  EXPECT_LT(gap, 12.5);

  // Ctrl-C: the colour is reset and the status is a SIGINT's.
  EXPECT_EQ(stop_process(client, SIGINT, 10000), 128 + SIGINT);
  stop_process(sim, SIGTERM);
  const std::string console = read_file(out());
  EXPECT_EQ(console.rfind(BANNER + title(300) + "Showing frames to/from port (300) only\n" +
                              "Including node status reports\n" + "Capturing traces to file '" +
                              capture + "'\n",
                          0),
            0U)
      << console;
  // The report's colour escape, and the reset at the end.
  EXPECT_NE(console.find("\033[", console.find(START_LINE)), std::string::npos) << console;
  EXPECT_EQ(console.substr(console.size() - 4), "\033[0m");
  EXPECT_EQ(console.find('\r'), std::string::npos);
  EXPECT_EQ(read_file(err()), "");

  // The capture file is a text file: the summary and the trace, CR LF.
  const std::string captured = read_file(capture);
  EXPECT_NE(captured.find("Showing frames to/from port (300) only\r\n"
                          "Including node status reports\r\n"),
            std::string::npos)
      << captured;
  EXPECT_NE(captured.find("12:34:56 N0DE:HUB <NODE UP>\r\n"), std::string::npos) << captured;
  for (std::size_t at = captured.find('\n'); at != std::string::npos;
       at = captured.find('\n', at + 1))
    EXPECT_TRUE(at > 0 && captured[at - 1] == '\r') << "bare LF at " << at;

  // The record file is a datagram file as on Linux: LF line ends.
  const std::string recorded = read_file(record);
  EXPECT_EQ(recorded.rfind("# recorded from 127.11.2.1:7373, port 300\n", 0), 0U) << recorded;
  EXPECT_NE(recorded.find(R"({"@type":"NodeUpEvent","nodeCall":"N0DE")"), std::string::npos)
      << recorded;
  EXPECT_EQ(recorded.find('\r'), std::string::npos) << recorded;
}

// Wine (8.0) passes no "port unreachable" to the program, not in select,
// recv or send, so the console's word on a refusal cannot be seen here:
// nothing follows the start line.
TEST_F(WindowsClient, CtrlCWithoutColourWritesNoReset) {
  const pid_t client = start({"0", "127.11.2.2", "-c"});
  ASSERT_TRUE(wait_for_text(out(), START_LINE, 20000)) << read_file(out());
  EXPECT_EQ(stop_process(client, SIGINT, 10000), 128 + SIGINT);
  EXPECT_EQ(read_file(out()),
            BANNER + title(0) + "Showing frames to/from all ports\n" + START_LINE);
}

const std::string FRAME =
    R"(d {"@type":"L2Trace","time":1765003600,"reportFrom":"N0DE","port":"1","isRF":true,)"
    R"("dirn":"rcvd","srce":"G4XYZ","dest":"N0DE","l2Type":"UI","cr":"C","ilen":5,"pid":240,)"
    R"("ptcl":"DATA"})"
    "\n";

// The station row of G4XYZ in a heard file, or "" when there is none.
std::string station_row(const std::string& text) {
  const std::size_t at = text.find("\tG4XYZ\t");
  if (at == std::string::npos) return "";
  const std::size_t start = text.rfind('\n', at) + 1;
  return text.substr(start, text.find('\n', at) - start);
}

TEST_F(WindowsClient, HeardFileSavedAtTheEndAndReadAtTheNextStart) {
  const std::string heard = dir_ + "/heard.txt";
  std::vector<std::string> rows;
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const pid_t sim = start_sim("127.11.2.3", FRAME);
    // A console of its own for each run: the last run's holds the call too.
    const std::string console = dir_ + "/run" + std::to_string(run) + ".out";
    started_.push_back(spawn_process(command({"0", "127.11.2.3", "-c", "--heard-file", heard}),
                                     console, err(), {"TZ=UTC"}));
    const pid_t client = started_.back();
    ASSERT_TRUE(wait_for_text(console, "G4XYZ", 20000)) << read_file(console);
    EXPECT_EQ(stop_process(client, SIGINT, 10000), 128 + SIGINT);
    stop_process(sim, SIGTERM);
    const std::string text = read_file(heard);
    // A data file, the same on every system: LF line ends.
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
    rows.push_back(station_row(text));
    EXPECT_NE(rows.back(), "") << text;
  }
  // The second run's row counts two frames where the first counted one.
  EXPECT_NE(rows[0], rows[1]);
  EXPECT_NE(rows[1].find("\t2\t"), std::string::npos) << rows[1];
}

}  // namespace
