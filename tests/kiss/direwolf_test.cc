// A real software modem end to end: audio of UI frames through Dire Wolf,
// pellarin-kiss and pellarin, in a loopback-only network namespace.
// PELLARIN_KISS_VECTORS_UPDATE=1 writes the actual capture instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/process.h"

namespace {

const std::string DIR_ = PELLARIN_KISS_DIREWOLF;

bool on_path(const char* program) {
  const ProcessResult found = run_process({"/bin/sh", "-c", std::string("command -v ") + program});
  return found.status == 0;
}

TEST(KissDireWolf, UiFramesThroughTheModemBecomeTheirTraces) {
  if (!on_path("direwolf") || !on_path("gen_packets")) {
    GTEST_SKIP() << "Dire Wolf is not installed (Debian package direwolf)";
  }
  if (run_process({"/usr/bin/unshare", "-n", "/bin/true"}).status != 0) {
    GTEST_SKIP() << "unshare -n is not permitted here (needs root)";
  }
  const std::string work = make_temp_dir();
  const ProcessResult run = run_process(
      {"/usr/bin/unshare", "-n", "/bin/sh", DIR_ + "/run-in-netns.sh", PELLARIN_KISS_BINARY,
       PELLARIN_BINARY, DIR_ + "/frames.txt", work, "3"},
      60000);
  const std::string capture = read_file(work + "/capture.txt");
  const std::string logs = "pellarin-kiss:\n" + read_file(work + "/kiss.err") + "direwolf:\n" +
                           read_file(work + "/direwolf.log");
  for (const char* name : {"/capture.txt", "/kiss.err", "/client.err", "/direwolf.log",
                           "/gen.log", "/rx.conf", "/audio", "/ui.wav"}) {
    std::remove((work + name).c_str());
  }
  rmdir(work.c_str());
  ASSERT_EQ(run.status, 0) << run.err << logs;
  if (std::getenv("PELLARIN_KISS_VECTORS_UPDATE") != nullptr) {
    write_file(DIR_ + "/expected.out", capture);
    GTEST_SKIP() << "wrote " << DIR_ << "/expected.out";
  }
  EXPECT_EQ(capture, read_file(DIR_ + "/expected.out")) << logs;
}

}  // namespace
