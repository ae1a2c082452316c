// A real software modem end to end, in a loopback-only network namespace:
// audio made from frames goes through Dire Wolf, pellarin-kiss and pellarin.
// PELLARIN_KISS_VECTORS_UPDATE=1 writes the actual capture of the UI case
// instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/kiss/vector_file.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

const std::string DIREWOLF_DIR = PELLARIN_KISS_DIREWOLF;

// What pellarin writes to its capture file before the first trace, with
// the options the script gives it.
constexpr char CAPTURE_HEAD[] = "Showing frames to/from all ports\nTime stamp disabled\n";

bool on_path(const char* program) {
  return run_process({"/bin/sh", "-c", std::string("command -v ") + program}).status == 0;
}

// The programs the modem run needs, and the Debian package of each.
constexpr std::pair<const char*, const char*> TOOLS[] = {
    {"direwolf", "direwolf"},
    {"gen_packets", "direwolf"},
    {"ip", "iproute2"},
    {"python3", "python3"},
};

// Skips the test unless its programs are installed and a network namespace
// can be made.
bool can_run(std::string& why) {
  for (const auto& [program, package] : TOOLS) {
    if (!on_path(program)) {
      why = std::string(program) + " is not installed (Debian package " + package + ")";
      return false;
    }
  }
  if (run_process({"/usr/bin/unshare", "-n", "/bin/true"}).status != 0) {
    why = "unshare -n is not permitted here (needs root)";
    return false;
  }
  return true;
}

size_t count_traces(const std::string& text) {
  size_t count = 0;
  for (size_t at = text.find("\n("); at != std::string::npos; at = text.find("\n(", at + 1))
    ++count;
  return count;
}

struct ModemRun {
  int status;
  std::string capture;
  std::string logs;
};

ModemRun run_modem(const std::string& mode, const std::string& frames, size_t traces,
                   const std::string& work) {
  const ProcessResult run = run_process(
      {"/usr/bin/unshare", "-n", "/bin/sh", DIREWOLF_DIR + "/run-in-netns.sh", PELLARIN_KISS_BINARY,
       PELLARIN_BINARY, mode, frames, work, std::to_string(traces)},
      120000);
  ModemRun result{run.status, read_file(work + "/capture.txt"), run.err};
  for (const char* log : {"/kiss.err", "/tx.log", "/rx.log", "/client.err"}) {
    result.logs += std::string(log) + ":\n" + read_file(work + log);
  }
  for (const char* name :
       {"/capture.txt", "/kiss.err", "/client.err", "/tx.log", "/rx.log", "/gen.log", "/rx.conf",
        "/tx.conf", "/.asoundrc", "/rx.in", "/tx.in", "/audio.raw", "/frames.kiss"}) {
    std::remove((work + name).c_str());
  }
  rmdir(work.c_str());
  return result;
}

TEST(KissDireWolf, UiFramesFromMonitorTextBecomeTheirTraces) {
  std::string why;
  if (!can_run(why)) GTEST_SKIP() << why;
  const std::string expected_path = DIREWOLF_DIR + "/ui-expected.out";
  const std::string expected = read_file(expected_path);
  const ModemRun run =
      run_modem("ui", DIREWOLF_DIR + "/ui-frames.txt", count_traces(expected), make_test_dir());
  ASSERT_EQ(run.status, 0) << run.logs;
  if (std::getenv("PELLARIN_KISS_VECTORS_UPDATE") != nullptr) {
    write_file(expected_path, run.capture);
    GTEST_SKIP() << "wrote " << expected_path;
  }
  EXPECT_EQ(run.capture, expected) << run.logs;
}

// The byte vectors whose frames a one-channel modem can carry (KISS port 0,
// sound addresses) give, through the modem, the traces they give directly.
// The digipeated frames come first: the modem sends frames that a
// digipeater has repeated ahead of the others.
TEST(KissDireWolf, AnyFramesThroughATransmittingModemGiveTheVectorTraces) {
  std::string why;
  if (!can_run(why)) GTEST_SKIP() << why;
  std::string stream;
  std::string expected = CAPTURE_HEAD;
  for (const char* name :
       {"ui-eight-digis", "connected-modulo-128", "netrom-transport", "netrom-connect-forms",
        "netrom-route-record", "netrom-reset-pid", "netrom-compressed-info", "nodes-broadcast",
        "nodes-cut-short", "inp3", "inp3-split", "l3rtt", "ip-arp"}) {
    VectorCase vector;
    std::string error;
    ASSERT_TRUE(load_vector(name, vector, error)) << name << ": " << error;
    stream.append(vector.stream.begin(), vector.stream.end());
    expected += vector.trace;
  }
  const std::string work = make_test_dir();
  write_file(work + "/frames.kiss", stream);
  const ModemRun run = run_modem("kiss", work + "/frames.kiss", count_traces(expected), work);
  ASSERT_EQ(run.status, 0) << run.logs;
  EXPECT_EQ(run.capture, expected) << run.logs;
}

}  // namespace
