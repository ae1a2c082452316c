// NODES broadcasts and INP3 routing unicasts.
#include "trace/routing.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/report_harness.h"

namespace {

// Every test here runs with the local time zone set to UTC, so that numeric
// INP3 time stamps have a known local time.
class RoutingTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    if (const char* tz = std::getenv("TZ")) saved_tz_ = tz;
    set_time_zone("UTC");
  }

  void TearDown() override {
    set_time_zone(saved_tz_ ? saved_tz_->c_str() : nullptr);
    ReportTest::TearDown();
  }

  // Runs one decoder on a report text; the trace must reach both channels.
  std::string run(void (*decoder)(const char*, TraceText&), const std::string& text) {
    {
      TraceText trace;
      decoder(text.c_str(), trace);
    }
    const ChannelText out = take_output();
    EXPECT_EQ(out.console, out.capture);
    return out.capture;
  }

 private:
  std::optional<std::string> saved_tz_;
};

struct DecodeCase {
  const char* name;
  std::uint32_t set;
  std::uint32_t clear;
  std::string text;
  std::string expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << c.name;
}

// ------------------------------------------------------------- routing info

const DecodeCase ROUTING_INFO_CASES[] = {
    {"missing type, no warnings", 0, 0, R"("nodes":[])", ""},
    {"missing type", TF_WARNINGS, 0, R"("nodes":[])", " [missing 'type']"},
    {"unknown type, no warnings", 0, 0, R"("type":"nodes","nodes":[])", ""},
    {"type differing in case", TF_WARNINGS, 0, R"("type":"nodes","nodes":[])",
     " [unknown 'type' 'nodes'"},
    {"type inp3 in lower case", TF_WARNINGS, 0, R"("type":"inp3","nodes":[])",
     " [unknown 'type' 'inp3'"},
    {"type cut to fifteen", TF_WARNINGS, 0, R"("type":"NODESNODESNODESNODES")",
     " [unknown 'type' 'NODESNODESNODES'"},
    {"NODES", 0, 0, R"("type":"NODES","fromAlias":"RUNE","nodes":[{"call":"G4RST-1"}])",
     "\n    NODES Broadcast from RUNE:\n    G4RST-1"},
    {"INP3", 0, 0, R"("type":"INP3","nodes":[{"call":"G4RST-1"}])",
     "\n    INP3 Routing Unicast:\n    G4RST-1  "},
    {"l3Type and @type are not the type", TF_WARNINGS, 0,
     R"("@type":"L2Trace","l3Type":"Routing info")", " [missing 'type']"},
};

class RoutingInfoTest : public RoutingTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(RoutingInfoTest, PicksTheDecoderByType) {
  const DecodeCase& c = GetParam();
  flags(c.set, c.clear);
  EXPECT_EQ(run(decode_routing_info, c.text), c.expected) << visible(c.expected);
}

INSTANTIATE_TEST_SUITE_P(Routing, RoutingInfoTest, ::testing::ValuesIn(ROUTING_INFO_CASES));

// -------------------------------------------------------------------- NODES

constexpr char ENTRY_G4RST[] = R"({"call":"G4RST-1","alias":"RUNE","via":"G4RST","qual":"200"})";
constexpr char ENTRY_N0XXX[] = R"({"call":"N0XXX","alias":"XXBBS","via":"G4RST","qual":"150"})";

std::string nodes_report(const std::string& entries, const std::string& tail = "") {
  return R"("type":"NODES","fromAlias":"RUNE","nodes":[)" + entries + "]" + tail;
}

const DecodeCase NODES_CASES[] = {
    {"switch clear", 0, TF_NODES, nodes_report(ENTRY_G4RST), " NODES Broadcast"},
    {"switch clear reads nothing else", TF_WARNINGS, TF_NODES, R"("type":"NODES")",
     " NODES Broadcast"},
    {"one entry", 0, 0, nodes_report(ENTRY_G4RST),
     "\n    NODES Broadcast from RUNE:\n    G4RST-1:RUNE via G4RST qlty=200"},
    {"several entries", 0, 0, nodes_report(std::string(ENTRY_G4RST) + "," + ENTRY_N0XXX),
     "\n    NODES Broadcast from RUNE:"
     "\n    G4RST-1:RUNE via G4RST qlty=200"
     "\n    N0XXX:XXBBS via G4RST qlty=150"},
    {"empty array", 0, 0, nodes_report(""), "\n    NODES Broadcast from RUNE:"},
    {"fromAlias absent", 0, 0, R"("type":"NODES","nodes":[{"call":"A"}])",
     "\n    NODES Broadcast:\n    A"},
    {"fromAlias absent, warnings", TF_WARNINGS, 0, R"("type":"NODES","nodes":[{"call":"A"}])",
     "\n    NODES Broadcast [missing 'fromAlias']:\n    A"},
    {"fromAlias empty", TF_WARNINGS, 0, R"("type":"NODES","fromAlias":"","nodes":[])",
     "\n    NODES Broadcast from :"},
    {"entry without alias shows none", 0, 0,
     nodes_report(R"({"call":"A","via":"V","qual":"1"},{"call":"B","alias":"BB","qual":"2"})"),
     "\n    NODES Broadcast from RUNE:\n    A via V qlty=1\n    B:BB qlty=2"},
    {"entry without call still begins its line", 0, 0,
     nodes_report(R"({"call":"A","alias":"AA"},{"alias":"XX","qual":"1"},{"call":"B"})"),
     "\n    NODES Broadcast from RUNE:\n    A:AA\n    :XX qlty=1\n    B"},
    {"empty entry", 0, 0, nodes_report(R"({},{"call":"B"})"),
     "\n    NODES Broadcast from RUNE:\n    \n    B"},
    {"keys after the array belong to no entry", 0, 0,
     nodes_report(R"({"call":"A","alias":"AA"})", R"(,"via":"ZZ","qual":"9","call":"Q")"),
     "\n    NODES Broadcast from RUNE:\n    A:AA"},
    {"values cut to their limits", 0, 0,
     nodes_report(R"({"call":"ABCDEFGHIJ","alias":"ABCDEFG","via":"0123456789","qual":"1234"})"),
     "\n    NODES Broadcast from RUNE:\n    ABCDEFGHI:ABCDEF via 012345678 qlty=123"},
    {"fromAlias cut", 0, 0, R"("type":"NODES","fromAlias":"ABCDEFG","nodes":[])",
     "\n    NODES Broadcast from ABCDEF:"},
    {"bare values", 0, 0, nodes_report(R"({"call":"A","qual":200})"),
     "\n    NODES Broadcast from RUNE:\n    A qlty=200"},
    {"type before the array is not the key", 0, 0,
     R"("type":"NODES","l3Type":"Routing info","nodes":[{"call":"A"}])",
     "\n    NODES Broadcast:\n    A"},
    {"capital-N key not found", 0, 0, R"("type":"NODES","fromAlias":"RUNE","Nodes":[{"call":"A"}])",
     "\n    NODES Broadcast from RUNE:"},
    {"capital-N key not found, warnings", TF_WARNINGS, 0,
     R"("type":"NODES","fromAlias":"RUNE","Nodes":[{"call":"A"}])",
     "\n    NODES Broadcast from RUNE: [missing 'nodes' array]"},
    {"nodes not an array", TF_WARNINGS, 0, R"("type":"NODES","fromAlias":"RUNE","nodes":"none")",
     "\n    NODES Broadcast from RUNE: [missing 'nodes' array]"},
    {"no nodes at all", TF_WARNINGS, 0, R"("type":"NODES","fromAlias":"RUNE")",
     "\n    NODES Broadcast from RUNE: [missing 'nodes' array]"},
    {"bracket in a value ends the walk", 0, 0,
     nodes_report(R"({"call":"A","alias":"X]Y"},{"call":"B"})"),
     "\n    NODES Broadcast from RUNE:\n    A:X]Y"},
    {"brace in a value ends the entry", 0, 0,
     nodes_report(R"({"call":"A","alias":"X}Y","qual":"5"},{"call":"B"})"),
     "\n    NODES Broadcast from RUNE:\n    A:X}\n    B"},
    {"control bytes shown as dots", 0, 0, nodes_report("{\"call\":\"A\x1b[2J\"}"),
     "\n    NODES Broadcast from RUNE:\n    A.[2J"},
};

class NodesTest : public RoutingTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(NodesTest, PrintsEachEntryFromItsOwnKeys) {
  const DecodeCase& c = GetParam();
  flags(c.set, c.clear);
  EXPECT_EQ(run(decode_nodes, c.text), c.expected) << visible(c.expected);
}

INSTANTIATE_TEST_SUITE_P(Routing, NodesTest, ::testing::ValuesIn(NODES_CASES));

// --------------------------------------------------------------------- INP3

struct Inp3Case {
  const char* name;
  std::uint32_t set;
  int width;
  std::string entries;   // the inside of the "nodes" array
  std::string expected;  // after "\n    INP3 Routing Unicast:"
};

void PrintTo(const Inp3Case& c, std::ostream* os) {
  *os << c.name;
}

// Call, hops, tt, alias, latitude and longitude bring the column count to 61
// (the count runs one ahead of the screen column on an entry's first line).
constexpr char BASE_KEYS[] =
    R"({"call":"G4RST-1","hops":"2","tt":"120","alias":"RUNE","latitude":"51.5074",)"
    R"("longitude":"-0.1278")";
constexpr char BASE_TEXT[] = "\n    G4RST-1    hp=2   tt=120    Alias=RUNE   51.5074 -0.1278";

std::string base_entry(const std::string& more) {
  return BASE_KEYS + more + "}";
}

const Inp3Case INP3_CASES[] = {
    {"one entry", 0, 80, R"({"call":"G4RST-1","hops":"2","tt":"120","alias":"RUNE"})",
     "\n    G4RST-1    hp=2   tt=120    Alias=RUNE  "},
    {"three entries in order", 0, 80,
     R"({"call":"N0AAA","hops":1},{"call":"N0BBB","hops":2},{"call":"N0CCC","hops":3})",
     "\n    N0AAA      hp=1 \n    N0BBB      hp=2 \n    N0CCC      hp=3 "},
    {"empty array", 0, 80, "", ""},
    {"entry without call continues the line", 0, 80,
     R"({"call":"A","hops":"1"},{"hops":"3","alias":"X"})",
     "\n    A          hp=1   hp=3   Alias=X     "},
    {"entry without call counts from zero", 0, 80,
     base_entry(R"(,"software":"Brackon504")") + R"(,{"version":"2.0.1"})",
     std::string(BASE_TEXT) + " S/W=Brackon504 v2.0.1"},
    {"every item", 0, 200,
     base_entry(R"(,"software":"Brackon","version":"318k","isNode":true,"isBBS":"true",)"
                R"("isPMS":true,"isQVChat":true,"isRTChat":true,"isRMS":true,"isDXClUS":true,)"
                R"("timestamp":1700000000,"tzMins":"-60")"),
     std::string(BASE_TEXT) +
         " S/W=Brackon v318k NODE BBS PMS QVCHAT RTCHAT RMS DXCLUS 14/11 22:13 tz=-60"},
    {"items in table order whatever the entry's order", 0, 200,
     R"({"tzMins":"0","isNode":true,"version":"1","call":"A"})", "\n    A         v1 NODE tz=0"},
    {"values cut to their limits", 0, 300,
     R"({"call":"ABCDEFGHIJ","hops":"123","tt":"123456","alias":"ABCDEFG",)"
     R"("latitude":"123456789012345678901","longitude":"abcdefghijklmnopqrstu",)"
     R"("software":"SOFTWARE-SOFTWARE-SOFT","version":"12345678901","tzMins":"123456789"})",
     "\n    ABCDEFGHI  hp=12  tt=12345  Alias=ABCDEF 12345678901234567890"
     " abcdefghijklmnopqrst S/W=SOFTWARE-SOFTWARE-SO v1234567890 tz=12345678"},
    // Wrap arithmetic at width 80.
    {"version at count 76 wraps", 0, 80,
     base_entry(R"(,"software":"Brackon504","version":"2.0.1")"),
     std::string(BASE_TEXT) + " S/W=Brackon504\n         v2.0.1"},
    {"version at count 72 stays", 0, 80, base_entry(R"(,"software":"XRtr50","version":"2.0.1")"),
     std::string(BASE_TEXT) + " S/W=XRtr50 v2.0.1"},
    {"version reaching exactly the width wraps", 0, 80,
     base_entry(R"(,"software":"Brackon","version":"2.0.1")"),
     std::string(BASE_TEXT) + " S/W=Brackon\n         v2.0.1"},
    {"NODE at count 75 wraps", 0, 80, base_entry(R"(,"software":"Brackon50","isNode":true)"),
     std::string(BASE_TEXT) + " S/W=Brackon50\n         NODE"},
    {"BBS at count 75 stays", 0, 80, base_entry(R"(,"software":"Brackon50","isBBS":true)"),
     std::string(BASE_TEXT) + " S/W=Brackon50 BBS"},
    {"count is 8 after a wrap", 0, 80,
     base_entry(R"(,"software":"Brackon50","isNode":true,"isBBS":true,"isPMS":true)"),
     std::string(BASE_TEXT) + " S/W=Brackon50\n         NODE BBS PMS"},
    {"tzMins at count 76 wraps", 0, 80, base_entry(R"(,"software":"Brackon504","tzMins":"60")"),
     std::string(BASE_TEXT) + " S/W=Brackon504\n         tz=60"},
    {"tzMins at count 72 stays", 0, 80, base_entry(R"(,"software":"XRtr50","tzMins":"60")"),
     std::string(BASE_TEXT) + " S/W=XRtr50 tz=60"},
    {"text time wraps at count + 21", 0, 80, base_entry(R"(,"timestamp":"2024-03-01T12:00:00Z")"),
     std::string(BASE_TEXT) + "\n         2024-03-01T12:00:00Z"},
    {"numeric time stays at count + 12 below the width", 0, 80,
     base_entry(R"(,"timestamp":1700000000)"), std::string(BASE_TEXT) + " 14/11 22:13"},
    {"numeric time wraps at count + 12", 0, 80,
     base_entry(R"(,"software":"XR","timestamp":1700000000)"),
     std::string(BASE_TEXT) + " S/W=XR\n         14/11 22:13"},
    {"width 0 wraps every tested item", 0, 0,
     R"({"call":"A","version":"1","isNode":true,"timestamp":"T1","tzMins":"60"})",
     "\n    A        \n         v1\n         NODE\n         T1\n         tz=60"},
    {"negative width wraps all but version and tzMins", 0, -1,
     R"({"call":"A","version":"1","isNode":true,"isBBS":true,"timestamp":18001,"tzMins":"60"})",
     "\n    A         v1\n         NODE\n         BBS\n         01/01 05:00 tz=60"},
    {"very negative width", 0, -2147483647 - 1, R"({"call":"A","version":"1","isRMS":true})",
     "\n    A         v1\n         RMS"},
    {"huge width never wraps", 0, 2147483647,
     base_entry(R"(,"software":"Brackon504","version":"2.0.1","isNode":true,"tzMins":"1")"),
     std::string(BASE_TEXT) + " S/W=Brackon504 v2.0.1 NODE tz=1"},
    // Time stamps (local time is UTC in these tests).
    {"stamp of 18000 prints nothing", 0, 80, R"({"call":"A","timestamp":18000})",
     "\n    A        "},
    {"stamp of 18001", 0, 80, R"({"call":"A","timestamp":18001})", "\n    A         01/01 05:00"},
    {"quoted numeric stamp", 0, 80, R"({"call":"A","timestamp":"1700000000"})",
     "\n    A         14/11 22:13"},
    {"stamp past 2^31", 0, 80, R"({"call":"A","timestamp":2147483648})",
     "\n    A         19/01 03:14"},
    {"stamp in 2039", 0, 80, R"({"call":"A","timestamp":2200000000})",
     "\n    A         18/09 23:06"},
    {"negative stamp prints nothing", 0, 80, R"({"call":"A","timestamp":-1700000000})",
     "\n    A        "},
    {"unconvertible stamp prints and counts nothing", 0, 20,
     R"({"call":"A","timestamp":99999999999999999999,"tzMins":"60"})", "\n    A         tz=60"},
    {"negative stamp counts nothing", 0, 20, R"({"call":"A","timestamp":-5,"tzMins":"60"})",
     "\n    A         tz=60"},
    {"text stamp", 0, 80, R"({"call":"A","timestamp":"2024-03-01T12:00:00Z"})",
     "\n    A         2024-03-01T12:00:00Z"},
    {"lower-case t is read as a number", 0, 80, R"({"call":"A","timestamp":"2024-03-01t12"})",
     "\n    A        "},
    {"text stamp cut to forty", 0, 200,
     R"({"call":"A","timestamp":"2024-03-01T12:00:00.000000000000000000000000Z"})",
     "\n    A         2024-03-01T12:00:00.00000000000000000000"},
    // Capability flags: only a value of exactly "true" shows one.
    {"flag values other than true", 0, 80,
     R"({"call":"A","isNode":"True","isBBS":1,"isPMS":false,"isRMS":"trueish","isDXClUS":""})",
     "\n    A        "},
    {"flags in any key case", 0, 80, R"({"call":"A","ISNODE":true,"isdxclus":true})",
     "\n    A         NODE DXCLUS"},
    // Walk faults.
    {"bracket in a quoted value ends the walk", 0, 80, R"({"call":"A","alias":"X]Y"},{"call":"B"})",
     "\n    A          Alias=X]Y   "},
    {"brace in a quoted value ends the entry's copy", 0, 80,
     R"({"call":"A","alias":"X}Y","hops":"3"},{"call":"B"})",
     "\n    A          Alias=X}    \n    B        "},
    {"entry longer than 1023 is cut, the walk goes on", 0, 80,
     R"({"call":"LONG","pad":")" + std::string(1100, 'x') + R"(","hops":"5"},{"call":"NEXT"})",
     "\n    LONG     \n    NEXT     "},
};

class Inp3Test : public RoutingTest, public ::testing::WithParamInterface<Inp3Case> {};

TEST_P(Inp3Test, PrintsAndWrapsEachEntry) {
  const Inp3Case& c = GetParam();
  flags(c.set);
  settings.display_width = c.width;
  const std::string expected = "\n    INP3 Routing Unicast:" + c.expected;
  EXPECT_EQ(run(decode_inp3, R"("type":"INP3","nodes":[)" + c.entries + "]"), expected)
      << visible(expected);
}

INSTANTIATE_TEST_SUITE_P(Routing, Inp3Test, ::testing::ValuesIn(INP3_CASES));

const DecodeCase INP3_REPORT_CASES[] = {
    {"switch clear", TF_WARNINGS, TF_INP3, R"("type":"INP3")", " INP3"},
    {"array key in any case", 0, 0, R"("type":"INP3","Nodes":[{"call":"A"}])",
     "\n    INP3 Routing Unicast:\n    A        "},
    {"missing array", 0, 0, R"("type":"INP3")", "\n    INP3 Routing Unicast:"},
    {"missing array, warnings", TF_WARNINGS, 0, R"("type":"INP3","nodes":{"call":"A"})",
     "\n    INP3 Routing Unicast: [missing 'nodes' array]"},
    {"keys outside the array are not read", 0, 0,
     R"("type":"INP3","hops":"9","nodes":[{"call":"A"}],"alias":"Z")",
     "\n    INP3 Routing Unicast:\n    A        "},
};

class Inp3ReportTest : public RoutingTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(Inp3ReportTest, HeaderAndArray) {
  const DecodeCase& c = GetParam();
  flags(c.set, c.clear);
  EXPECT_EQ(run(decode_inp3, c.text), c.expected) << visible(c.expected);
}

INSTANTIATE_TEST_SUITE_P(Routing, Inp3ReportTest, ::testing::ValuesIn(INP3_REPORT_CASES));

}  // namespace

// The whole road: splitter, dispatcher, L2 trace line, NET/ROM decode and
// the routing decoders, with the trace line's own ending.
TEST_F(RoutingTest, BroadcastsThroughTheTraceLine) {
  flags(0, TF_TIMESTAMP | TF_COLOUR);
  const ChannelText nodes = report(
      R"("@type":"L2Trace","reportFrom":"N0MERE","port":"2","dirn":"rcvd","srce":"N0TARN",)"
      R"("dest":"NODES","l2Type":"UI","ptcl":"NET/ROM","l3Type":"Routing info","type":"NODES",)"
      R"("fromAlias":"TRN","nodes":[{"call":"N0TARN-5","alias":"TRNBBS","via":"N0TARN","qual":255},)"
      R"({"alias":"GHOST"}])");
  EXPECT_EQ(nodes.capture,
            "\n(2)R N0TARN>NODES <UI> NET/ROM\n    NODES Broadcast from TRN:"
            "\n    N0TARN-5:TRNBBS via N0TARN qlty=255\n    :GHOST\n");
  const ChannelText inp3 = report(
      R"("@type":"L2Trace","reportFrom":"N0MERE","port":"1","dirn":"sent","srce":"N0MERE",)"
      R"("dest":"N0TARN","l2Type":"I","ptcl":"NET/ROM","l3Type":"Routing info","type":"INP3",)"
      R"("nodes":[{"call":"G4RST-1","hops":2,"tt":150,"alias":"RUNE","timestamp":1765003500}])");
  EXPECT_EQ(inp3.capture,
            "\n(1)S N0MERE>N0TARN <I> NET/ROM\n    INP3 Routing Unicast:"
            "\n    G4RST-1    hp=2   tt=150    Alias=RUNE   06/12 06:45\n");
}
