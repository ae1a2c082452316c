// Output channels: a capture file that stops and starts taking writes.
#include "output/channels.h"

#include <gtest/gtest.h>

#include <cstdarg>
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

struct PieceCase {
  const char* name;
  int length;            // what out_print returned
  std::string expected;  // what snprintf makes of the same format and arguments
};

std::string snprintf_text(const char* format, ...) PRINTF_FORMAT(1, 2);
std::string snprintf_text(const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Plain text, "%s" and "%%" are copied without the C library; every other
// conversion goes to it. Either way the text and length are snprintf's.
TEST_F(ChannelsTest, PrintsGiveWhatSnprintfGives) {
  const PieceCase cases[] = {
      {"plain", out_print("G4ABC>G4XYZ"), "G4ABC>G4XYZ"},
      {"percent", out_print("100%% <%s>", "I"), snprintf_text("100%% <%s>", "I")},
      {"empty value", out_print("ilen=%s", ""), "ilen="},
      {"two values", out_print("%s>%s <%s", "G4ABC-1", "N0DE", "UI"), "G4ABC-1>N0DE <UI"},
      {"value then text", out_print("%s:\n", "NET/ROM"), "NET/ROM:\n"},
      {"padded", out_print("%s%-9s|", CONTINUATION, "G4ABC"),
       snprintf_text("%s%-9s|", CONTINUATION, "G4ABC")},
      {"numbers", out_print(" %02d/%02d %02d:%02d", 9, 12, 7, 5),
       snprintf_text(" %02d/%02d %02d:%02d", 9, 12, 7, 5)},
  };
  const ChannelText out = take_output();
  std::string expected;
  for (const PieceCase& c : cases) {
    expected += c.expected;
    EXPECT_EQ(c.length, static_cast<int>(c.expected.size())) << c.name;
  }
  EXPECT_EQ(out.capture, expected);
  EXPECT_EQ(out.console, expected);
}

TEST_F(ChannelsTest, TraceTextGoesOutWholeWhenComplete) {
  {
    TraceText text;
    EXPECT_EQ(text.add("%s>%s <%s", "G4ABC", "G4XYZ", "UI"), 15);
    EXPECT_EQ(text.add(">"), 1);
    EXPECT_EQ(text.add("%s", ""), 0);
    // Nothing reaches either channel before the trace is complete.
    EXPECT_EQ(take_output().capture, "");
    EXPECT_EQ(wrap_line(text), WRAP_INDENT);
    text.add(":%s%s\n", CONTINUATION, "Good evening all");
  }
  const ChannelText out = take_output();
  EXPECT_EQ(out.capture, "G4ABC>G4XYZ <UI>\n        :\n    Good evening all\n");
  EXPECT_EQ(out.console, out.capture);
}

TEST_F(ChannelsTest, TraceTextLongerThanOnePrintIsCutAsPrintsAreCut) {
  const std::string half(3000, 'a');
  const std::string whole(5000, 'b');
  {
    TraceText text;
    EXPECT_EQ(text.add("%s", half.c_str()), 3000);
    // It does not fit after the first: that goes out, and it is cut to one
    // print's length as out_print cuts it.
    EXPECT_EQ(text.add("%s", whole.c_str()), 4095);
    EXPECT_EQ(take_output().capture, half);
    // A full text goes out before the next piece, which is kept whole.
    EXPECT_EQ(text.add("%s", "c"), 1);
    EXPECT_EQ(take_output().capture, std::string(4095, 'b'));
  }
  EXPECT_EQ(take_output().capture, "c");
}

}  // namespace
