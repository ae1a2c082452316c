// The heard tables in a live run: printed after the last trace when the
// client is ended, with the system's drop count; under --heard-only alone.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/launcher.h"
#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

struct LiveRun {
  std::string out;
  std::string err;
  std::string capture;
};

// The emulator plays a generated session to the client, which is then
// ended; CAPTURE in the options stands for the capture file's path.
LiveRun run_live(int host, std::vector<std::string> options) {
  const TestDir work;
  const std::string dir = work.path();
  const std::string session = dir + "/session.dgrams";
  const ProcessResult generated = run_process(
      {PELLARIN_SIM_BINARY, "generate", "--seed", "21", "--count", "60", "--write", session});
  EXPECT_EQ(generated.status, 0) << generated.err;
  const std::string address = test_address(131, host);
  const pid_t sim = spawn_process({PELLARIN_SIM_BINARY, "replay", session, "--bind", address,
                                   "--rate", "2000", "--exit-when-done"},
                                  dir + "/sim.out", dir + "/sim.err");
  for (std::string& option : options)
    if (option == "CAPTURE") option = dir + "/capture.txt";
  std::vector<std::string> client = {PELLARIN_BINARY, "0", address};
  client.insert(client.end(), options.begin(), options.end());
  const pid_t pellarin =
      spawn_process(client, dir + "/client.out", dir + "/client.err", {"TZ=UTC"});
  EXPECT_EQ(wait_process(sim, 20000), 0) << read_file(dir + "/sim.err");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(stop_process(pellarin, SIGTERM), 128 + SIGTERM);
  return {read_file(dir + "/client.out"), read_file(dir + "/client.err"),
          read_file(dir + "/capture.txt")};
}

TEST(HeardLive, TablesAfterTheLastTraceWithTheDropCount) {
  const LiveRun run = run_live(1, {"-q", "-O", "CAPTURE", "--heard"});
  EXPECT_EQ(run.err, "");
  const std::size_t tables = run.capture.find("\nStations heard on all ports, ");
  ASSERT_NE(tables, std::string::npos) << run.capture;
  const std::size_t last_trace = run.capture.rfind(" N0DE>");
  ASSERT_NE(last_trace, std::string::npos);
  EXPECT_LT(last_trace, tables);
  // qemu-user passes on no drop count, so there the system counts none.
  if (TEST_LAUNCHER[0] == '\0') {
    EXPECT_NE(run.capture.find("0 datagrams dropped by the system\n", tables), std::string::npos);
  }
  EXPECT_NE(run.capture.find("\nRoutes heard on all ports, ", tables), std::string::npos);
  // Quiet: the tables, like the traces, are in the capture file alone.
  EXPECT_EQ(run.out.find("Stations heard"), std::string::npos);
}

TEST(HeardLive, HeardOnlyWritesTheTablesAlone) {
  const LiveRun run = run_live(2, {"--heard-only", "-k"});
  EXPECT_EQ(run.err, "");
  ASSERT_TRUE(run.out.starts_with("\nStations heard on all ports, ")) << run.out;
  if (TEST_LAUNCHER[0] == '\0') {
    EXPECT_NE(run.out.find("0 datagrams dropped by the system\n"), std::string::npos) << run.out;
  }
  EXPECT_NE(run.out.find("\nLinks heard on all ports, "), std::string::npos);
  EXPECT_NE(run.out.find("\nRoutes heard on all ports, "), std::string::npos);
  // No banner, summary, start line, trace or colour.
  EXPECT_EQ(run.out.find("Pellarin"), std::string::npos);
  EXPECT_EQ(run.out.find("<LINK"), std::string::npos);
  EXPECT_EQ(run.out.find('\033'), std::string::npos);
  // The emulated network's three stations.
  for (const char* call : {" G4ABC-7 ", " G8XYZ-2 ", " M0PQR-4 "})
    EXPECT_NE(run.out.find(call), std::string::npos) << call;
}

}  // namespace
