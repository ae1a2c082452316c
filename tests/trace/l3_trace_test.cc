// L3 trace line: entry tests, filters, header forms and the NET/ROM decode.
#include "trace/l3_trace.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/report_harness.h"

namespace {

using L3TraceTest = ReportTest;

// A NET/ROM disconnect request sent on port 2, at 12:34:56 UTC.
#define PACKET                                                                          \
  R"("@type":"L3Trace","reportFrom":"N0DE","time":45296,"l3Type":"NetRom","port":"2",)" \
  R"("dirn":"sent","isRF":false,"ilen":20,"l3src":"G4ABC","l3dst":"G4XYZ","ttl":25,)"   \
  R"("l4type":"DREQ","toCct":"0107")"
#define PACKET_BODY "<NO_L2> ilen=20 NET/ROM\n    NTRM: G4ABC to G4XYZ ttl=25 cct=0107 <DREQ>\n"

struct HeaderCase {
  const char* name;
  std::uint32_t set;
  std::uint32_t clear;
  const char* report;
  const char* expected;
};

const HeaderCase HEADER_CASES[] = {
    {"defaults", 0, 0, PACKET, "\n12:34:56 N0DE(2)S " PACKET_BODY},
    {"header_line", TF_HEADER_LINE, 0, PACKET,
     "\n12:34:56 N0DE port 2 (Non-RF) sent:\n  " PACKET_BODY},
    {"serial_without_its_switch", 0, 0, PACKET R"(,"serial":"99")",
     "\n12:34:56 [99] N0DE(2)S " PACKET_BODY},
    {"classic_has_no_effect", TF_CLASSIC, TF_BLANK_LINE | TF_TIMESTAMP, PACKET,
     "N0DE(2)S " PACKET_BODY},
    {"raw_echo", TF_RAW_JSON, TF_TIMESTAMP, PACKET, PACKET "\n\nN0DE(2)S " PACKET_BODY},
    {"no_direction_or_kind", TF_HEADER_LINE, TF_TIMESTAMP,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","port":"2","l3src":"A",)"
     R"("l3dst":"B","ttl":3,"l4type":"DACK")",
     "\nN0DE port 2:\n  <NO_L2> NET/ROM\n    NTRM: A to B ttl=3 <DACK>\n"},
    {"inline_without_direction", 0, TF_TIMESTAMP,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","port":"2","l3src":"A",)"
     R"("l3dst":"B","ttl":3,"l4type":"DACK","dirn":"rcvd")",
     "\nN0DE(2)R <NO_L2> NET/ROM\n    NTRM: A to B ttl=3 <DACK>\n"},
    {"long_calls_cut_to_ten_in_the_network_header", 0, TF_TIMESTAMP,
     R"("@type":"L3Trace","reportFrom":"ABCDEFGHIJKLMNOPQ","l3Type":"NetRom","port":"123456789",)"
     R"("l3src":"G4ABCDEFGHIJK","l3dst":"G4XYZ-12345","ttl":3)",
     "\nABCDEFGHIJKLMNO(1234567)  <NO_L2> NET/ROM\n    NTRM: G4ABCDEFGH to G4XYZ-1234 ttl=3\n"},
};

TEST_F(L3TraceTest, HeaderForms) {
  for (const HeaderCase& c : HEADER_CASES) {
    flags(c.set, c.clear | TF_COLOUR);
    const ChannelText out = report(c.report);
    EXPECT_EQ(visible(out.capture), visible(c.expected)) << c.name;
    EXPECT_EQ(out.console, out.capture) << c.name;
  }
}

struct FilterCase {
  const char* name;
  std::uint32_t clear;
  int port;
  const char* frame_type;
  const char* from;
  const char* to;
  const char* a;
  const char* b;
  const char* protocol;
  bool shown;
};

// PACKET goes from G4ABC to G4XYZ on port 2.
const FilterCase FILTER_CASES[] = {
    {"no_filters", 0, 0, "", "", "", "", "", "", true},
    {"port_same", 0, 2, "", "", "", "", "", "", true},
    {"port_other", 0, 3, "", "", "", "", "", "", false},
    {"any_frame_type_hides_all", 0, 0, "UI", "", "", "", "", "", false},
    {"from_same", 0, 0, "", "g4abc", "", "", "", "", true},
    {"from_other", 0, 0, "", "G4XYZ", "", "", "", "", false},
    {"to_same", 0, 0, "", "", "g4xyz", "", "", "", true},
    {"to_other", 0, 0, "", "", "G4ABC", "", "", "", false},
    {"a_source", 0, 0, "", "", "", "G4ABC", "", "", true},
    {"a_destination", 0, 0, "", "", "", "G4XYZ", "", "", true},
    {"a_neither", 0, 0, "", "", "", "N0CALL", "", "", false},
    {"b_source", 0, 0, "", "", "", "", "g4abc", "", true},
    {"b_neither", 0, 0, "", "", "", "", "N0CALL", "", false},
    {"a_and_b_between_them", 0, 0, "", "", "", "G4XYZ", "G4ABC", "", true},
    {"a_and_b_third_party", 0, 0, "", "", "", "G4XYZ", "N0CALL", "", false},
    {"ui_switch_plays_no_part", TF_UI, 0, "", "", "", "", "", "", true},
    {"protocol_filter_plays_no_part", 0, 0, "", "", "", "", "", "IP", true},
};

TEST_F(L3TraceTest, Filters) {
  for (const FilterCase& c : FILTER_CASES) {
    flags(TF_WARNINGS, c.clear | TF_TIMESTAMP | TF_COLOUR);
    settings.port_filter = c.port;
    std::strcpy(settings.frame_type_filter, c.frame_type);
    std::strcpy(settings.from_call, c.from);
    std::strcpy(settings.to_call, c.to);
    std::strcpy(settings.call_a, c.a);
    std::strcpy(settings.call_b, c.b);
    std::strcpy(settings.protocol_filter, c.protocol);
    const ChannelText out = report(PACKET);
    EXPECT_EQ(visible(out.capture), c.shown ? visible("\nN0DE(2)S " PACKET_BODY) : "") << c.name;
    EXPECT_EQ(out.console, out.capture) << c.name;
  }
}

struct DropCase {
  const char* name;
  std::uint32_t clear;
  int port;
  const char* report;
  const char* warning;  // on the console under -W
};

const DropCase DROP_CASES[] = {
    {"no_reporter", 0, 0,
     R"("@type":"L3Trace","l3Type":"NetRom","port":"2","l3src":"A","l3dst":"B","ttl":1)",
     "[Mandatory field missing]\n"},
    {"no_l3_type", 0, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","port":"2","l3src":"A","l3dst":"B","ttl":1)",
     "[Mandatory field missing]\n"},
    {"entry_checked_before_the_switch", TF_L3, 0, R"("@type":"L3Trace","reportFrom":"N0DE")",
     "[Mandatory field missing]\n"},
    {"other_l3_type_silently", 0, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"IP","port":"2","l3src":"A","l3dst":"B","ttl":1)",
     ""},
    {"netrom_with_case", 0, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NETROM","port":"2","l3src":"A","l3dst":"B","ttl":1)",
     ""},
    {"layer_3_off", TF_L3, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","port":"2")", ""},
    {"other_port_before_the_type", 0, 3,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"X","port":"2")", ""},
    {"no_port_passes_the_port_filter_then_missing", 0, 2,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","l3src":"A","l3dst":"B","ttl":1)",
     "[Mandatory field missing]\n"},
    {"no_source", 0, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","port":"2","l3dst":"B","ttl":1)",
     "[Mandatory field missing]\n"},
    {"no_destination", 0, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","port":"2","l3src":"A","ttl":1)",
     "[Mandatory field missing]\n"},
    {"no_ttl", 0, 0,
     R"("@type":"L3Trace","reportFrom":"N0DE","l3Type":"NetRom","port":"2","l3src":"A","l3dst":"B")",
     "[Mandatory field missing]\n"},
};

TEST_F(L3TraceTest, DroppedReports) {
  for (const DropCase& c : DROP_CASES) {
    flags(TF_WARNINGS, c.clear | TF_TIMESTAMP | TF_COLOUR);
    settings.port_filter = c.port;
    ChannelText out = report(c.report);
    EXPECT_EQ(out.console, c.warning) << c.name;
    EXPECT_EQ(out.capture, "") << c.name;
    flags(0, c.clear | TF_TIMESTAMP | TF_COLOUR);
    out = report(c.report);
    EXPECT_EQ(out.console, "") << c.name;
    EXPECT_EQ(out.capture, "") << c.name;
  }
}

}  // namespace
