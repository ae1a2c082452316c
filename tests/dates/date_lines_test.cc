// Date lines in process: where they stand in a trace, under which switches,
// and the start line of a live session.
#include "dates/date_lines.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "tests/support/report_harness.h"

namespace {

class DateLinesTest : public ReportTest {};

// 2026-12-09 23:59:59 and 2026-12-10 00:00:01 UTC.
const std::string LAST_OF_DAY =
    R"("@type":"L2Trace","time":1796860799,"reportFrom":"N0DE","port":"1","srce":"G4ABC","dest":"N0DE","l2Type":"RR")";
const std::string FIRST_OF_DAY =
    R"("@type":"L2Trace","time":1796860801,"reportFrom":"N0DE","port":"1","srce":"G4ABC","dest":"N0DE","l2Type":"RR")";

TEST_F(DateLinesTest, AheadOfTheEchoAndOnlyUnderDates) {
  struct Case {
    std::uint32_t set;
    std::uint32_t clear;
    bool dates;
    std::string first_trace;
  };
  const Case cases[] = {
      {TF_TIMESTAMP, 0, false, "\n23:59:59 (1)  G4ABC>N0DE <RR>\n"},
      {TF_TIMESTAMP, 0, true, "\n--- 2026-12-09 (UTC) ---\n\n23:59:59 (1)  G4ABC>N0DE <RR>\n"},
      {TF_TIMESTAMP, TF_BLANK_LINE, true,
       "--- 2026-12-09 (UTC) ---\n23:59:59 (1)  G4ABC>N0DE <RR>\n"},
      {TF_TIMESTAMP | TF_RAW_JSON, TF_BLANK_LINE, true,
       "--- 2026-12-09 (UTC) ---\n" + LAST_OF_DAY + "\n23:59:59 (1)  G4ABC>N0DE <RR>\n"},
      {0, TF_TIMESTAMP, true, "\n(1)  G4ABC>N0DE <RR>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_trace);
    forget_dates();
    flags(c.set, c.clear | TF_COLOUR);
    settings.dates = c.dates;
    EXPECT_EQ(report(LAST_OF_DAY).capture, c.first_trace);
  }
}

TEST_F(DateLinesTest, ANewDateOnlyWhereATraceIsShown) {
  flags(TF_TIMESTAMP, TF_COLOUR | TF_BLANK_LINE);
  settings.dates = true;
  print_start_date(1796860799);
  EXPECT_EQ(take_output().capture, "--- 2026-12-09 (UTC) ---\n");
  EXPECT_EQ(report(LAST_OF_DAY).capture, "23:59:59 (1)  G4ABC>N0DE <RR>\n");
  // Filtered out: no trace, no date line; the next trace shown gets it.
  settings.port_filter = 2;
  EXPECT_EQ(report(FIRST_OF_DAY).capture, "");
  settings.port_filter = 0;
  EXPECT_EQ(report(FIRST_OF_DAY).capture,
            "--- 2026-12-10 (UTC) ---\n00:00:01 (1)  G4ABC>N0DE <RR>\n");
}

// The year after INT_MAX: tm_year still fits an int, the year does not.
TEST_F(DateLinesTest, AYearBeyondAnInt) {
  flags(TF_TIMESTAMP, TF_COLOUR | TF_BLANK_LINE);
  settings.dates = true;
  settings.trace_flags |= TF_NODE_REPORTS;
  const std::string trace =
      report(R"("@type":"NodeUpEvent","time":67767976233532800,"nodeCall":"N0DE")").capture;
  // Where the C library's calendar ends sooner (Windows': at the year 3000)
  // the time is unknown and nothing is dated.
  EXPECT_TRUE(trace == "--- 2147483648-01-01 (UTC) ---\n00:00:00 N0DE <NODE UP>\n" ||
              trace == "??:??:?? N0DE <NODE UP>\n")
      << trace;
}

TEST_F(DateLinesTest, NoStartDateWithoutStamps) {
  flags(0, TF_TIMESTAMP);
  settings.dates = true;
  print_start_date(1796860799);
  flags(TF_TIMESTAMP);
  settings.dates = false;
  print_start_date(1796860799);
  EXPECT_EQ(take_output().capture, "");
}

}  // namespace
