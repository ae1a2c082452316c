// What the two trace lines share: call filters on values as received, and
// the header pieces shown from them.
#include "trace/frame_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "app/settings.h"
#include "tests/support/report_harness.h"

namespace {

class FrameTraceTest : public ReportTest {};

struct FilterCase {
  const char* from;
  const char* to;
  const char* a;
  const char* b;
  std::string_view source;
  std::string_view destination;
  bool passes;
};

TEST_F(FrameTraceTest, CallFiltersCompareTheCallsAsReceived) {
  const FilterCase cases[] = {
      {"", "", "", "", "G4ABC", "G4XYZ", true},
      {"g4abc", "", "", "", "G4ABC", "G4XYZ", true},
      {"G4ABC", "", "", "", "G4XYZ", "G4ABC", false},
      {"", "g4xyz", "", "", "G4ABC", "G4XYZ", true},
      {"", "", "G4XYZ", "", "G4ABC", "G4XYZ", true},
      {"", "", "G4XYZ", "", "G4XYZ", "M0PQR", true},
      {"", "", "G4ABC", "G4XYZ", "G4ABC", "G4XYZ", true},
      {"", "", "G4ABC", "G4XYZ", "G4ABC", "M0PQR", false},
      // A dot matches a dot, never a control byte shown as one.
      {".", "", "", "", ".", "G4XYZ", true},
      {".", "", "", "", "\x07", "G4XYZ", false},
      {"", "", ".", "", "\xc2\x9b", "\x1b", false},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(visible(std::string(c.source) + ">" + std::string(c.destination)));
    std::snprintf(settings.from_call, sizeof settings.from_call, "%s", c.from);
    std::snprintf(settings.to_call, sizeof settings.to_call, "%s", c.to);
    std::snprintf(settings.call_a, sizeof settings.call_a, "%s", c.a);
    std::snprintf(settings.call_b, sizeof settings.call_b, "%s", c.b);
    EXPECT_EQ(passes_call_filters(c.source, c.destination), c.passes);
  }
}

TEST_F(FrameTraceTest, HeaderPiecesShowTheDirectionSafely) {
  FlagField dirn;
  FlagField is_rf;
  EXPECT_EQ(direction_letter(dirn), ' ');
  ASSERT_TRUE(dirn.read(R"("dirn":"sent")", "dirn"));
  EXPECT_EQ(direction_letter(dirn), 'S');
  ASSERT_TRUE(dirn.read("\"dirn\":\"\x1brcvd\"", "dirn"));
  EXPECT_EQ(direction_letter(dirn), '.');
  ASSERT_TRUE(is_rf.read(R"("isRF":true)", "isRF"));
  {
    TraceText text;
    print_header_line_tail(is_rf, dirn, text);
  }
  EXPECT_EQ(take_output().capture, " (RF) .rcv:\n  ");
}

}  // namespace
