// A whole generated session through the real client: every kind of report
// that the emulator plays shows in the trace, and nothing goes to stderr
// (where the sanitizers would report).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/test_environment.h"

namespace {

TEST(GeneratedSession, EveryReportKindIsFormatted) {
  const TestDir work;
  const std::string dir = work.path();
  const std::string session = dir + "/session.dgrams";
  const ProcessResult generated = run_process(
      {PELLARIN_SIM_BINARY, "generate", "--seed", "7", "--count", "400", "--write", session});
  ASSERT_EQ(generated.status, 0) << generated.err;

  const pid_t sim = spawn_process({PELLARIN_SIM_BINARY, "replay", session, "--bind",
                                   test_address(105, 1), "--rate", "2000", "--exit-when-done"},
                                  dir + "/sim.out", dir + "/sim.err");
  const std::string capture = dir + "/capture.txt";
  const pid_t client = spawn_process({PELLARIN_BINARY, "0", test_address(105, 1), "-k", "-m", "-d",
                                      "-W", "-j", "-q", "-O", capture},
                                     dir + "/client.out", dir + "/client.err", {"TZ=UTC"});
  EXPECT_EQ(wait_process(sim, 20000), 0) << read_file(dir + "/sim.err");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(stop_process(client, SIGTERM), 128 + SIGTERM);
  EXPECT_EQ(read_file(dir + "/client.err"), "");

  const std::string trace = read_file(capture);
  const char* const markers[] = {
      "<NODE UP>",
      "<NODE DOWN>",
      "<NODE STATUS>",
      "<LINK UP>",
      "<LINK DOWN>",
      "<LINK STATUS>",
      "<CCT UP>",
      "<CCT DOWN>",
      "<CCT STATUS>",
      "<NO_L2>",
      "NTRM: ",
      "<CONN REQ>",
      "<CONN ACK>",
      "<DREQ>",
      "<DACK>",
      "<INFO S",
      " <RR ",
      " <RNR ",
      " <REJ ",
      "<UI ",
      " DATA:",
      "NODES Broadcast",
      "INP3 Routing Unicast:",
      "to L3RTT",
      "\n    IP: ",
      "\n    ARP ",
      "\n    snd=",
  };
  for (const char* marker : markers) EXPECT_NE(trace.find(marker), std::string::npos) << marker;
  // Warnings go to the console; a well-formed session gives none.
  EXPECT_EQ(read_file(dir + "/client.out").find("\n["), std::string::npos);
}

}  // namespace
