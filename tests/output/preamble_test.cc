// Trace preambles: the colour table and its channels, the time stamp.
#include "output/preamble.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "output/channels.h"
#include "tests/support/report_harness.h"

namespace {

class PreambleTest : public ReportTest {};

struct ColourCase {
  const char* is_rf;
  const char* dirn;
  const char* escape;
};

TEST_F(PreambleTest, ColourTableEveryRowAndColumn) {
  const ColourCase cases[] = {
      {"true", "rcvd", "\033[92m"},
      {"true", "sent", "\033[91m"},
      {"true", "", "\033[93m"},
      {"true", "Rcvd", "\033[93m"},
      {"false", "rcvd", "\033[38;2;50;255;150m"},
      {"fals", "s", "\033[38;2;255;150;150m"},
      {"f", "x", "\033[94m"},
      {"", "rcvd", "\033[0m"},
      {"True", "sent", "\033[0m"},
      {"1", "", "\033[0m"},
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(std::string(c.is_rf) + "/" + c.dirn);
    set_trace_colour(c.dirn, c.is_rf);
    const ChannelText out = take_output();
    EXPECT_EQ(out.console, c.escape);
    EXPECT_EQ(out.capture, "");
  }
}

TEST_F(PreambleTest, ColourChannels) {
  // To the capture file only with -C; on the console even when quiet.
  flags(TF_COLOUR_TO_FILE);
  set_trace_colour("rcvd", "true");
  ChannelText out = take_output();
  EXPECT_EQ(out.capture, "\033[92m");
  EXPECT_EQ(out.console, "\033[92m");

  flags(TF_QUIET);
  set_trace_colour("sent", "true");
  out = take_output();
  EXPECT_EQ(out.capture, "");
  EXPECT_EQ(out.console, "\033[91m");

  flags(TF_QUIET | TF_COLOUR_TO_FILE);
  set_trace_colour("sent", "true");
  out = take_output();
  EXPECT_EQ(out.capture, "\033[91m");
  EXPECT_EQ(out.console, "");
}

struct TimeCase {
  const char* report;
  const char* stamp;
};

TEST_F(PreambleTest, TimeStampsInUtc) {
  const TimeCase cases[] = {
      {R"("time":0)", "00:00:00 "},
      {R"("time":"45296")", "12:34:56 "},
      // atoi passes over leading white space, control bytes included.
      {"\"time\":\"\t45296\"", "12:34:56 "},
      {"\"time\":\"\n\v45296\"", "12:34:56 "},
      {R"("time":2147483647)", "03:14:07 "},
      // After January 2038 the real time, not a wrapped one.
      {R"("time":2147483648)", "03:14:08 "},
      {R"("time":4102444800)", "00:00:00 "},
      {R"("time":4102448461)", "01:01:01 "},
      {R"("time":"12abc")", "00:00:12 "},
      {R"("time":"")", "00:00:00 "},
      {R"("time":-1)", "??:??:?? "},
      {R"("time":99999999999999999999)", "??:??:?? "},
  };
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.report);
    {
      TraceText text;
      print_timestamp(c.report, text);
    }
    EXPECT_EQ(take_output().capture, c.stamp);
  }
}

TEST_F(PreambleTest, MissingTimeTakesTheClientsClock) {
  const std::time_t before = std::time(nullptr);
  {
    TraceText text;
    print_timestamp(R"("port":"1")", text);
  }
  const std::time_t after = std::time(nullptr);
  const std::string stamp = take_output().capture;
  ASSERT_EQ(stamp.size(), 9U);
  std::string allowed;
  for (std::time_t t = before; t <= after; ++t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d ", utc.tm_hour, utc.tm_min, utc.tm_sec);
    if (stamp == text) allowed = text;
  }
  EXPECT_EQ(stamp, allowed);
}

TEST_F(PreambleTest, EchoShowsControlBytesAsDots) {
  {
    TraceText text;
    print_report_echo("\"text\":\"a\033[2J\x07\x7f\\u001b\xc3\xa9\x9b\xc2\x9b\xc3\x9f\"", text);
  }
  EXPECT_EQ(take_output().capture, "\"text\":\"a.[2J..\\u001b\xc3\xa9..\xc3\x9f\"\n");
}

TEST_F(PreambleTest, OutputChannels) {
  // Quiet without a capture file: trace text goes nowhere, warnings still show.
  settings.capture_file = nullptr;
  flags(TF_QUIET);
  EXPECT_EQ(out_print("%s", "trace"), 5);
  con_print("[warning]\n");
  ChannelText out = take_output();
  EXPECT_EQ(out.console, "[warning]\n");
  EXPECT_EQ(out.capture, "");

  settings.capture_file = capture_stream();
  flags(0);
  EXPECT_EQ(out_print("%s", ""), 0);
  EXPECT_EQ(out_print("a%db", 42), 4);
  {
    TraceText text;
    EXPECT_EQ(wrap_line(text), 8);
  }
  out = take_output();
  EXPECT_EQ(out.capture, "a42b\n        ");
  EXPECT_EQ(out.console, out.capture);

  // A text longer than the formatting buffer is cut, never overrun.
  const std::string long_text(5000, 'x');
  EXPECT_EQ(out_print("%s", long_text.c_str()), 4095);
  EXPECT_EQ(take_output().capture, std::string(4095, 'x'));
}

}  // namespace
