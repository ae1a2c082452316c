// L2 trace line: header forms, filters, frame fields and payload dispatch.
#include "trace/l2_trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/report_harness.h"

namespace {

using L2TraceTest = ReportTest;

// A received I frame on port 3, at 12:34:56 UTC.
#define I_FRAME                                                                           \
  R"("@type":"L2Trace","serial":17,"reportFrom":"N0DE","time":45296,"port":"3",)"         \
  R"("srce":"G4ABC-1","dest":"G4XYZ-2","l2Type":"I","dirn":"rcvd","isRF":true,"rseq":3,)" \
  R"("tseq":5,"ilen":45)"
#define I_FRAME_BODY "G4ABC-1>G4XYZ-2 <I R3 S5> ilen=45\n"

struct HeaderCase {
  const char* name;
  std::uint32_t set;
  std::uint32_t clear;
  const char* report;
  const char* expected;
};

const HeaderCase HEADER_CASES[] = {
    {"defaults", 0, 0, I_FRAME, "\n12:34:56 (3)R " I_FRAME_BODY},
    {"serial_and_reporter", TF_SERIAL | TF_REPORTER, 0, I_FRAME,
     "\n12:34:56 [17] N0DE(3)R " I_FRAME_BODY},
    {"header_line", TF_HEADER_LINE, 0, I_FRAME, "\n12:34:56 port 3 (RF) rcvd:\n  " I_FRAME_BODY},
    {"classic", TF_CLASSIC, 0, I_FRAME, "\n *** 12:34:56 port 3 (RF) rcvd:\n  " I_FRAME_BODY},
    {"classic_forces_separator_and_time", TF_CLASSIC, TF_BLANK_LINE | TF_TIMESTAMP, I_FRAME,
     "\n *** 12:34:56 port 3 (RF) rcvd:\n  " I_FRAME_BODY},
    {"header_line_serial_and_reporter", TF_HEADER_LINE | TF_SERIAL | TF_REPORTER, 0, I_FRAME,
     "\n12:34:56 [17] N0DE port 3 (RF) rcvd:\n  " I_FRAME_BODY},
    {"no_separator_no_time", 0, TF_BLANK_LINE | TF_TIMESTAMP, I_FRAME, "(3)R " I_FRAME_BODY},
    {"serial_only_when_present", TF_SERIAL, TF_TIMESTAMP,
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"3","srce":"A","dest":"B","l2Type":"I")",
     "\n(3)  A>B <I>\n"},
    {"non_rf_sent", TF_HEADER_LINE, TF_TIMESTAMP,
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"12","srce":"A","dest":"B","l2Type":"UA",)"
     R"("dirn":"sent","isRF":false)",
     "\nport 12 (Non-RF) sent:\n  A>B <UA>\n"},
    {"header_line_without_kind_or_direction", TF_HEADER_LINE, TF_TIMESTAMP,
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"12","srce":"A","dest":"B","l2Type":"UA")",
     "\nport 12:\n  A>B <UA>\n"},
    {"inline_direction_in_capitals", 0, TF_TIMESTAMP,
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"1","srce":"A","dest":"B","l2Type":"UA",)"
     R"("dirn":"sent")",
     "\n(1)S A>B <UA>\n"},
    {"raw_echo_first", TF_RAW_JSON, TF_TIMESTAMP,
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"1","srce":"A","dest":"B","l2Type":"UA")",
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"1","srce":"A","dest":"B","l2Type":"UA")"
     "\n\n(1)  A>B <UA>\n"},
};

TEST_F(L2TraceTest, HeaderForms) {
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
  const char* report;
  bool shown;
};

#define UI_FRAME(type, port, srce, dest, ptcl)                                  \
  R"("@type":"L2Trace","reportFrom":"N0DE","port":")" port R"(","srce":")" srce \
  R"(","dest":")" dest R"(","l2Type":")" type R"(")" ptcl

const FilterCase FILTER_CASES[] = {
    {"ui_shown_by_default", 0, 0, "", "", "", "", "", "", UI_FRAME("UI", "3", "A", "B", ""), true},
    {"ui_hidden", TF_UI, 0, "", "", "", "", "", "", UI_FRAME("UI", "3", "A", "B", ""), false},
    {"ui_lower_case_not_hidden", TF_UI, 0, "", "", "", "", "", "",
     UI_FRAME("ui", "3", "A", "B", ""), true},
    {"port_same", 0, 3, "", "", "", "", "", "", UI_FRAME("UI", "3", "A", "B", ""), true},
    {"port_as_number", 0, 3, "", "", "", "", "", "", UI_FRAME("UI", "03", "A", "B", ""), true},
    {"port_other", 0, 3, "", "", "", "", "", "", UI_FRAME("UI", "4", "A", "B", ""), false},
    {"frame_type_same", 0, 0, "I", "", "", "", "", "", UI_FRAME("I", "3", "A", "B", ""), true},
    {"frame_type_any_case", 0, 0, "I", "", "", "", "", "", UI_FRAME("i", "3", "A", "B", ""), true},
    {"frame_type_other", 0, 0, "I", "", "", "", "", "", UI_FRAME("UI", "3", "A", "B", ""), false},
    {"from_same", 0, 0, "", "g4abc", "", "", "", "", UI_FRAME("UI", "3", "G4ABC", "B", ""), true},
    {"from_other", 0, 0, "", "G4ABC", "", "", "", "", UI_FRAME("UI", "3", "B", "G4ABC", ""), false},
    {"to_same", 0, 0, "", "", "g4xyz", "", "", "", UI_FRAME("UI", "3", "A", "G4XYZ", ""), true},
    {"to_other", 0, 0, "", "", "G4XYZ", "", "", "", UI_FRAME("UI", "3", "G4XYZ", "B", ""), false},
    {"a_as_source", 0, 0, "", "", "", "n0call", "", "", UI_FRAME("UI", "3", "N0CALL", "B", ""),
     true},
    {"a_as_destination", 0, 0, "", "", "", "N0CALL", "", "", UI_FRAME("UI", "3", "A", "N0CALL", ""),
     true},
    {"a_neither", 0, 0, "", "", "", "N0CALL", "", "", UI_FRAME("UI", "3", "A", "B", ""), false},
    {"b_as_source", 0, 0, "", "", "", "", "N1CALL", "", UI_FRAME("UI", "3", "N1CALL", "B", ""),
     true},
    {"b_neither", 0, 0, "", "", "", "", "N1CALL", "", UI_FRAME("UI", "3", "A", "B", ""), false},
    {"a_and_b_between_them", 0, 0, "", "", "", "N0CALL", "N1CALL", "",
     UI_FRAME("UI", "3", "N1CALL", "N0CALL", ""), true},
    {"a_and_b_third_party", 0, 0, "", "", "", "N0CALL", "N1CALL", "",
     UI_FRAME("UI", "3", "N0CALL", "N2CALL", ""), false},
    {"protocol_same", 0, 0, "", "", "", "", "", "net/rom",
     UI_FRAME("UI", "3", "A", "B", R"(,"ptcl":"NET/ROM")"), true},
    {"protocol_other", 0, 0, "", "", "", "", "", "NET/ROM",
     UI_FRAME("UI", "3", "A", "B", R"(,"ptcl":"DATA")"), false},
    {"protocol_absent", 0, 0, "", "", "", "", "", "NET/ROM", UI_FRAME("UI", "3", "A", "B", ""),
     false},
    {"protocol_empty", 0, 0, "", "", "", "", "", "NET/ROM",
     UI_FRAME("UI", "3", "A", "B", R"(,"ptcl":"")"), false},
};

TEST_F(L2TraceTest, Filters) {
  for (const FilterCase& c : FILTER_CASES) {
    flags(TF_WARNINGS, c.clear | TF_TIMESTAMP | TF_COLOUR | TF_L3);
    settings.port_filter = c.port;
    std::strcpy(settings.frame_type_filter, c.frame_type);
    std::strcpy(settings.from_call, c.from);
    std::strcpy(settings.to_call, c.to);
    std::strcpy(settings.call_a, c.a);
    std::strcpy(settings.call_b, c.b);
    std::strcpy(settings.protocol_filter, c.protocol);
    const ChannelText out = report(c.report);
    EXPECT_EQ(!out.capture.empty(), c.shown) << c.name << ": " << visible(out.capture);
    EXPECT_EQ(out.console, out.capture) << c.name;
  }
}

struct FrameCase {
  const char* name;
  const char* report;
  const char* expected;
};

#define L2_START R"("@type":"L2Trace","reportFrom":"N0DE","port":"3","dirn":"sent",)"

const FrameCase FRAME_CASES[] = {
    {"every_control_field",
     L2_START R"("srce":"G4ABC-1","dest":"G4XYZ-2","l2Type":"I","cr":"C","pf":"P","rseq":7,)"
              R"("tseq":0,"ilen":128,"pid":"CF")",
     "\n(3)S G4ABC-1>G4XYZ-2 <I C P R7 S0> ilen=128 pid=CF\n"},
    {"data_text_on_a_continuation_line",
     L2_START R"("srce":"G4ABC","dest":"ID","l2Type":"UI","cr":"C","ilen":11,"pid":"F0",)"
              R"("ptcl":"DATA","text":"Hello world")",
     "\n(3)S G4ABC>ID <UI C> ilen=11 pid=F0 DATA:\n    Hello world\n"},
    {"data_without_text", L2_START R"("srce":"A","dest":"B","l2Type":"UI","ptcl":"DATA")",
     "\n(3)S A>B <UI> DATA\n"},
    {"other_protocol_named_only",
     L2_START R"("srce":"A","dest":"B","l2Type":"UI","ptcl":"KELNET","text":"t")",
     "\n(3)S A>B <UI> KELNET\n"},
    {"protocol_compared_with_case",
     L2_START R"("srce":"A","dest":"B","l2Type":"UI","ptcl":"data","text":"t")",
     "\n(3)S A>B <UI> data\n"},
    {"values_cut_at_limits",
     L2_START R"("srce":"ABCDEFGHIJKLMNOPQ","dest":"B","l2Type":"FRMR-XYZ","cr":"CCC",)"
              R"("rseq":"1234","ilen":"12345678901","ptcl":"NET/ROM1")",
     "\n(3)S ABCDEFGHIJKLMNO>B <FRMR-XY CC R123> ilen=1234567890 NET/ROM\n"},
    {"long_port_in_inline_header",
     R"("@type":"L2Trace","reportFrom":"N0DE","port":"1234567890123456789","srce":"A",)"
     R"("dest":"B","l2Type":"UA","dirn":"r")",
     "\n(123456789012345)R A>B <UA>\n"},
};

TEST_F(L2TraceTest, FrameFields) {
  for (const FrameCase& c : FRAME_CASES) {
    flags(0, TF_TIMESTAMP | TF_COLOUR);
    const ChannelText out = report(c.report);
    EXPECT_EQ(visible(out.capture), visible(c.expected)) << c.name;
  }
}

TEST_F(L2TraceTest, DataTextCutAt1023) {
  flags(0, TF_TIMESTAMP | TF_COLOUR);
  const std::string text(1100, 'x');
  const ChannelText out = report(L2_START R"("srce":"A","dest":"B","l2Type":"UI","ptcl":"DATA",)"
                                          R"("text":")" +
                                 text + "\"");
  EXPECT_EQ(out.capture, "\n(3)S A>B <UI> DATA:\n    " + text.substr(0, 1023) + "\n");
}

const char* const MISSING_MANDATORY[] = {
    R"("@type":"L2Trace","port":"3","srce":"A","dest":"B","l2Type":"I")",
    R"("@type":"L2Trace","reportFrom":"N0DE","srce":"A","dest":"B","l2Type":"I")",
    R"("@type":"L2Trace","reportFrom":"N0DE","port":"3","dest":"B","l2Type":"I")",
    R"("@type":"L2Trace","reportFrom":"N0DE","port":"3","srce":"A","l2Type":"I")",
    R"("@type":"L2Trace","reportFrom":"N0DE","port":"3","srce":"A","dest":"B")",
    R"("@type":"L2Trace")",
};

TEST_F(L2TraceTest, MandatoryFieldMissing) {
  for (const char* text : MISSING_MANDATORY) {
    flags(TF_WARNINGS, TF_TIMESTAMP | TF_COLOUR);
    ChannelText out = report(text);
    EXPECT_EQ(out.console, "[Mandatory field missing]\n") << text;
    EXPECT_EQ(out.capture, "") << text;
    flags(0, TF_TIMESTAMP | TF_COLOUR);
    out = report(text);
    EXPECT_EQ(out.console, "") << text;
    EXPECT_EQ(out.capture, "") << text;
  }
}

TEST_F(L2TraceTest, LayerTwoOffShowsNothingNotEvenAWarning) {
  flags(TF_WARNINGS, TF_L2 | TF_TIMESTAMP | TF_COLOUR);
  const ChannelText out = report(R"("@type":"L2Trace","reportFrom":"N0DE")");
  EXPECT_EQ(out.console, "");
  EXPECT_EQ(out.capture, "");
}

struct ColourCase {
  const char* name;
  std::uint32_t set;
  const char* console;
  const char* capture;
};

#define RED_FRAME                                                              \
  R"("@type":"L2Trace","reportFrom":"N0DE","port":"1","srce":"A","dest":"B",)" \
  R"("l2Type":"UA","dirn":"sent","isRF":"true")"

const ColourCase COLOUR_CASES[] = {
    {"console_only", TF_COLOUR, "\033[91m\n(1)S A>B <UA>\n", "\n(1)S A>B <UA>\n"},
    {"to_file", TF_COLOUR | TF_COLOUR_TO_FILE, "\033[91m\n(1)S A>B <UA>\n",
     "\033[91m\n(1)S A>B <UA>\n"},
    {"before_the_echo", TF_COLOUR | TF_COLOUR_TO_FILE | TF_RAW_JSON,
     "\033[91m" RED_FRAME "\n\n(1)S A>B <UA>\n", "\033[91m" RED_FRAME "\n\n(1)S A>B <UA>\n"},
    {"quiet_keeps_console_colour", TF_COLOUR | TF_QUIET, "\033[91m", "\n(1)S A>B <UA>\n"},
    // -c with -C: no colour at all, since TF_COLOUR gates every escape.
    {"colour_to_file_without_colour", TF_COLOUR_TO_FILE, "\n(1)S A>B <UA>\n", "\n(1)S A>B <UA>\n"},
};

TEST_F(L2TraceTest, ColourComesFirst) {
  for (const ColourCase& c : COLOUR_CASES) {
    flags(c.set, TF_TIMESTAMP | TF_COLOUR);
    const ChannelText out = report(RED_FRAME);
    EXPECT_EQ(visible(out.console), visible(c.console)) << c.name;
    EXPECT_EQ(visible(out.capture), visible(c.capture)) << c.name;
  }
}

}  // namespace
