// Output channels: a capture file that stops and starts taking writes.
#include "output/channels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/settings.h"
#include "tests/support/report_harness.h"

namespace {

class ChannelsTest : public ReportTest {};

TEST_F(ChannelsTest, CaptureWriteFailureToldOnceAndRecoveryOnce) {
  std::FILE* full = open_capture_stream("/dev/full", true);
  if (full == nullptr) GTEST_SKIP() << "no /dev/full on this system";
  std::strcpy(settings.capture_path, "/dev/full");
  settings.capture_file = full;

  EXPECT_EQ(out_print("G4ABC>G4XYZ <UI>\n"), 17);
  out_print("second trace\n");
  out_print("third trace\n");
  ChannelText text = take_output();
  // The console trace goes on; the failure is said once, with the reason.
  EXPECT_EQ(text.console,
            "[Can't write to capture file '/dev/full': " + std::string(std::strerror(ENOSPC)) +
                "]\nG4ABC>G4XYZ <UI>\nsecond trace\nthird trace\n");

  // Room again (the file is writable): said once, and the traces resume.
  settings.capture_file = capture_stream();
  out_print("fourth trace\n");
  out_print("fifth trace\n");
  text = take_output();
  EXPECT_EQ(text.console,
            "[Writing to capture file '/dev/full' again]\nfourth trace\nfifth trace\n");
  EXPECT_EQ(text.capture, "fourth trace\nfifth trace\n");
  std::fclose(full);
}

TEST_F(ChannelsTest, QuietCaptureFailureStillReachesTheConsole) {
  std::FILE* full = open_capture_stream("/dev/full", false);
  if (full == nullptr) GTEST_SKIP() << "no /dev/full on this system";
  flags(TF_QUIET, TF_TIMESTAMP | TF_COLOUR);
  std::strcpy(settings.capture_path, "/dev/full");
  settings.capture_file = full;
  out_print("lost trace\n");
  out_print("lost trace\n");
  EXPECT_EQ(take_output().console, "[Can't write to capture file '/dev/full': " +
                                       std::string(std::strerror(ENOSPC)) + "]\n");
  settings.capture_file = capture_stream();
  out_print("kept trace\n");
  const ChannelText text = take_output();
  EXPECT_EQ(text.console, "[Writing to capture file '/dev/full' again]\n");
  EXPECT_EQ(text.capture, "kept trace\n");
  std::fclose(full);
}

}  // namespace
