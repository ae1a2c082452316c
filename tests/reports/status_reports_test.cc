// Link, circuit and node reports: switches, mandatory keys, items in order,
// the port filter, colours and the preamble.
#include "reports/status_reports.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/report_harness.h"

namespace {

// Colour, time stamp and blank line off: the texts below show the report alone.
constexpr std::uint32_t PLAIN = TF_COLOUR | TF_TIMESTAMP | TF_BLANK_LINE;
constexpr std::uint32_t ALL_REPORTS = TF_LINK_REPORTS | TF_CIRCUIT_REPORTS | TF_NODE_REPORTS;

constexpr char OUTGOING_COLOUR[] = "\033[38;2;255;200;150m";
constexpr char INCOMING_COLOUR[] = "\033[38;2;150;200;255m";
constexpr char NODE_COLOUR[] = "\033[33m";

constexpr char LINK_KEYS[] =
    R"("node":"NODE1","port":"3","local":"AAA-1","remote":"BBB-2","direction":"outgoing")";
constexpr char CIRCUIT_KEYS[] =
    R"("node":"NODE1","local":"AAA-1","remote":"BBB-2","direction":"incoming")";

constexpr char LINK_STATISTICS[] =
    R"("id":7,"isRF":true,"upForSecs":120,"frmsSent":10,"frmsResent":1,"frmsRcvd":12,)"
    R"("bytesSent":300,"bytesRcvd":420,"L2RttMs":250,"frmsQueued":0,"frmsQdPeak":4,)"
    R"("frmQMax":10,"bpsTxMean":12,"bpsRxMean":15)";
constexpr char CIRCUIT_STATISTICS[] =
    R"("service":0,"id":12,"upForSecs":600,"segsSent":20,"segsResent":2,"segsRcvd":25,)"
    R"("segsQueued":0,"bytesSent":800,"bytesRcvd":900,"reason":"idle")";
constexpr char NODE_STATISTICS[] =
    R"("nodeAlias":"ALIAS","locator":"AB12CD","software":"NODESW","version":"1.2",)"
    R"("uptimeSecs":900,"linksIn":2,"linksOut":3,"cctsIn":1,"cctsOut":0,"l3Rlyd":57)";

struct ReportCase {
  const char* what;
  std::string report;  // inner text, without the braces
  const char* expected;
};

std::string type(const char* name, const std::string& rest) {
  return std::string(R"("@type":")") + name + "\"," + rest;
}

class StatusReports : public ReportTest {
 protected:
  // Each case must come out the same on the console and in the capture file.
  void check_all(const ReportCase* begin, const ReportCase* end) {
    for (const ReportCase* c = begin; c != end; ++c) {
      SCOPED_TRACE(c->what);
      const ChannelText out = report(c->report);
      EXPECT_EQ(visible(out.capture), visible(c->expected));
      EXPECT_EQ(visible(out.console), visible(c->expected));
    }
  }
  template <std::size_t N>
  void check_all(const ReportCase (&cases)[N]) {
    check_all(cases, cases + N);
  }
};

TEST_F(StatusReports, EveryKindOfEveryFamily) {
  flags(ALL_REPORTS, PLAIN);
  const std::string link = std::string(LINK_KEYS) + "," + LINK_STATISTICS;
  const std::string circuit = std::string(CIRCUIT_KEYS) + "," + CIRCUIT_STATISTICS;
  const std::string node = std::string(R"("nodeCall":"NODE1",)") + NODE_STATISTICS;
  const ReportCase cases[] = {
      {"link status", type("LinkStatus", link),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2 id=7 RF up=120s\n"
       "   sent=10 resent=1 rcvd=12 bytsTx=300 bytsRx=420\n"
       "   rtt=250ms txq=0/4(10) bpsT=12 bpsR=15\n"},
      {"link down", type("LinkDownEvent", link),
       "NODE1(3) <LINK DOWN> AAA-1 > BBB-2 id=7 RF up=120s\n"
       "   sent=10 resent=1 rcvd=12 bytsTx=300 bytsRx=420\n"
       "   rtt=250ms txq=0/4(10) bpsT=12 bpsR=15\n"},
      {"link up carrying statistics", type("LinkUpEvent", link),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 id=7 RF\n"},
      {"circuit down", type("CircuitDownEvent", circuit),
       "NODE1 <CCT DOWN> [AAA-1 < BBB-2] id=12\n"
       "   up=600 sent=20 resent=2 rcvd=25 txq=0\n"
       "   bytsTx=800 bytsRx=900 reason=idle\n"},
      {"circuit status", type("CircuitStatus", circuit),
       "NODE1 <CCT STATUS> [AAA-1 < BBB-2] id=12\n"
       "   up=600 sent=20 resent=2 rcvd=25 txq=0\n"
       "   bytsTx=800 bytsRx=900 reason=idle\n"},
      {"circuit up carrying statistics", type("CircuitUpEvent", circuit),
       "NODE1 <CCT UP> [AAA-1 < BBB-2] id=12\n"},
      {"node status", type("NodeStatus", node),
       "NODE1:ALIAS <NODE STATUS> AB12CD NODESW 1.2\n"
       "   up=900s linksIn=2 linksOut=3 cctsIn=1 cctsOut=0 L3Relayed=57\n"},
      {"node down with reason", type("NodeDownEvent", node + R"(,"reason":"shutdown")"),
       "NODE1:ALIAS <NODE DOWN> AB12CD NODESW 1.2\n"
       "   up=900s reason=shutdown linksIn=2 linksOut=3 cctsIn=1 cctsOut=0 L3Relayed=57\n"},
      {"node up carrying statistics", type("NodeUpEvent", node),
       "NODE1:ALIAS <NODE UP> AB12CD NODESW 1.2\n"},
  };
  check_all(cases);
}

TEST_F(StatusReports, MandatoryKeysAlone) {
  flags(ALL_REPORTS, PLAIN);
  const ReportCase cases[] = {
      {"node status", type("NodeStatus", R"("nodeCall":"NODE1")"), "NODE1 <NODE STATUS>\n  \n"},
      {"node up", type("NodeUpEvent", R"("nodeCall":"NODE1")"), "NODE1 <NODE UP>\n"},
      {"circuit down", type("CircuitDownEvent", CIRCUIT_KEYS),
       "NODE1 <CCT DOWN> [AAA-1 < BBB-2]\n  \n  \n"},
      {"circuit up", type("CircuitUpEvent", CIRCUIT_KEYS), "NODE1 <CCT UP> [AAA-1 < BBB-2]\n"},
      {"link down", type("LinkDownEvent", LINK_KEYS),
       "NODE1(3) <LINK DOWN> AAA-1 > BBB-2\n  \n  \n"},
      {"link up", type("LinkUpEvent", LINK_KEYS), "NODE1(3) <LINK UP> AAA-1 > BBB-2\n"},
      // Present but empty is enough for a mandatory key.
      {"empty mandatory values",
       type("LinkStatus", R"("node":"","port":"","local":"","remote":"","direction":"")"),
       "() <LINK STATUS>  < \n  \n  \n"},
      {"empty node call", type("NodeUpEvent", R"("nodeCall":"")"), " <NODE UP>\n"},
  };
  check_all(cases);
}

TEST_F(StatusReports, DirectionAndPortKind) {
  flags(TF_LINK_REPORTS | TF_CIRCUIT_REPORTS, PLAIN);
  const char* link_keys = R"("node":"N","port":"1","local":"A","remote":"B",)";
  const ReportCase cases[] = {
      {"outgoing", type("LinkUpEvent", std::string(link_keys) + R"("direction":"outgoing")"),
       "N(1) <LINK UP> A > B\n"},
      {"capital O", type("LinkUpEvent", std::string(link_keys) + R"("direction":"Outgoing")"),
       "N(1) <LINK UP> A < B\n"},
      {"longer word", type("LinkUpEvent", std::string(link_keys) + R"("direction":"outgoingx")"),
       "N(1) <LINK UP> A < B\n"},
      {"incoming", type("LinkUpEvent", std::string(link_keys) + R"("direction":"incoming")"),
       "N(1) <LINK UP> A < B\n"},
      {"circuit outgoing",
       type("CircuitUpEvent", R"("node":"N","local":"A","remote":"B","direction":"outgoing")"),
       "N <CCT UP> [A > B]\n"},
      {"isRF true", type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":true)"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 RF\n"},
      {"isRF false", type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":false)"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 IN\n"},
      {"isRF True", type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":"True")"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 IN\n"},
      {"isRF t", type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":"t")"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 RF\n"},
      {"isRF empty", type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":"")"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2\n"},
      {"isRF absent", type("LinkUpEvent", LINK_KEYS), "NODE1(3) <LINK UP> AAA-1 > BBB-2\n"},
      {"isRF after id", type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":true,"id":9)"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 id=9 RF\n"},
  };
  check_all(cases);
}

TEST_F(StatusReports, QueuePeakAndLimitGoOnlyWithTheQueueLength) {
  flags(TF_LINK_REPORTS, PLAIN);
  const std::string keys = LINK_KEYS;
  const ReportCase cases[] = {
      {"all three", type("LinkStatus", keys + R"(,"frmsQueued":2,"frmsQdPeak":4,"frmQMax":10)"),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2\n  \n   txq=2/4(10)\n"},
      {"no queue length", type("LinkStatus", keys + R"(,"frmsQdPeak":4,"frmQMax":10)"),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2\n  \n  \n"},
      {"peak only", type("LinkStatus", keys + R"(,"frmsQueued":2,"frmsQdPeak":4)"),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2\n  \n   txq=2/4\n"},
      {"limit only", type("LinkStatus", keys + R"(,"frmsQueued":2,"frmQMax":10)"),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2\n  \n   txq=2(10)\n"},
      {"empty queue length", type("LinkStatus", keys + R"(,"frmsQueued":"","frmsQdPeak":4)"),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2\n  \n   txq=/4\n"},
  };
  check_all(cases);
}

TEST_F(StatusReports, ServiceShownOnlyWhenItReadsAsANonZeroNumber) {
  flags(TF_CIRCUIT_REPORTS, PLAIN);
  const std::string keys = CIRCUIT_KEYS;
  const char* header = "NODE1 <CCT UP> [AAA-1 < BBB-2]";
  const struct {
    const char* service;
    const char* shown;
  } services[] = {
      {R"(,"service":0)", ""},
      {R"(,"service":"0")", ""},
      {R"(,"service":"00")", ""},
      {R"(,"service":"word")", ""},
      {R"(,"service":"")", ""},
      {"", ""},
      {R"(,"service":7)", " svc=7"},
      {R"(,"service":"-2")", " svc=-2"},
      {R"(,"service":"12abc")", " svc=12abc"},
      {R"(,"service":" 5")", " svc= 5"},
      // Far beyond any int: read without overflow, and still not 0.
      {R"(,"service":"99999999999999")", " svc=99999999999999"},
      {R"(,"service":3,"id":4)", " svc=3 id=4"},
  };
  for (const auto& s : services) {
    SCOPED_TRACE(s.service);
    const ChannelText out = report(type("CircuitUpEvent", keys + s.service));
    EXPECT_EQ(out.capture, std::string(header) + s.shown + "\n");
  }
}

TEST_F(StatusReports, PortFilterAppliesToLinkReportsAlone) {
  const struct {
    int port_filter;
    const char* port;
    bool shown;
  } ports[] = {
      {3, "3", true},  {3, "03", true},   {3, "4", false},           {3, "word", false},
      {3, "", false},  {3, "3abc", true}, {0, "word", true},         {0, "4", true},
      {4, " 4", true}, {-1, "-1", true},  {1, "99999999999", false},
  };
  for (const auto& p : ports) {
    SCOPED_TRACE(std::string("filter ") + std::to_string(p.port_filter) + " port " + p.port);
    // The preamble too is left out for a report from another port.
    flags(TF_LINK_REPORTS | TF_RAW_JSON | TF_COLOUR | TF_COLOUR_TO_FILE | TF_TIMESTAMP);
    settings.port_filter = p.port_filter;
    const std::string link = std::string(R"("@type":"LinkUpEvent","time":0,"node":"N","port":")") +
                             p.port + R"(","local":"A","remote":"B","direction":"x")";
    const ChannelText out = report(link);
    const std::string expected = p.shown ? std::string(INCOMING_COLOUR) + link + "\n\n00:00:00 " +
                                               "N(" + p.port + ") <LINK UP> A < B\n"
                                         : "";
    EXPECT_EQ(visible(out.capture), visible(expected));
    EXPECT_EQ(visible(out.console), visible(expected));
  }

  flags(TF_CIRCUIT_REPORTS | TF_NODE_REPORTS, PLAIN);
  settings.port_filter = 3;
  const ReportCase never_filtered[] = {
      {"circuit", type("CircuitUpEvent", std::string(CIRCUIT_KEYS) + R"(,"port":"4")"),
       "NODE1 <CCT UP> [AAA-1 < BBB-2]\n"},
      {"node", type("NodeUpEvent", R"("nodeCall":"NODE1","port":"4")"), "NODE1 <NODE UP>\n"},
  };
  check_all(never_filtered);
}

TEST_F(StatusReports, EmptyAndCutValues) {
  flags(ALL_REPORTS, PLAIN);
  const std::string reason30 = R"(,"reason":"abcdefghijklmnopqrstuvwxyz0123")";
  const std::string end39 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abc";
  const ReportCase cases[] = {
      {"empty optional value", type("NodeStatus", R"("nodeCall":"N","reason":"")"),
       "N <NODE STATUS>\n   reason=\n"},
      {"empty values keep their labels",
       type("LinkStatus",
            std::string(LINK_KEYS) + R"(,"id":"","upForSecs":"","L2RttMs":"","bpsTxMean":"")"),
       "NODE1(3) <LINK STATUS> AAA-1 > BBB-2 id= up=s\n  \n   rtt=ms bpsT=\n"},
      {"reason cut to 15", type("CircuitDownEvent", std::string(CIRCUIT_KEYS) + reason30),
       "NODE1 <CCT DOWN> [AAA-1 < BBB-2]\n  \n   reason=abcdefghijklmno\n"},
      {"circuit ends of 39 whole",
       type("CircuitUpEvent", R"("node":"N","local":")" + end39 + R"(","remote":")" + end39 +
                                  R"(","direction":"outgoing")"),
       "N <CCT UP> [ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abc > "
       "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abc]\n"},
      {"circuit ends cut to 39",
       type("CircuitUpEvent", R"("node":"N","local":")" + end39 + R"(XYZ","remote":"R",)" +
                                  R"("direction":"outgoing")"),
       "N <CCT UP> [ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abc > R]\n"},
      {"link values cut to 15",
       type("LinkUpEvent", R"("node":"NODE-ABCDEFGHIJKL","port":"1234567890123456789",)"
                           R"("local":")" +
                               end39 + R"(","remote":"B","direction":"outgoing")"),
       "NODE-ABCDEFGHIJ(123456789012345) <LINK UP> ABCDEFGHIJKLMNO > B\n"},
      {"node call cut to 15", type("NodeUpEvent", R"("nodeCall":"ABCDEFGHIJKLMNOPQ")"),
       "ABCDEFGHIJKLMNO <NODE UP>\n"},
      {"isRF read as four characters",
       type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"isRF":"truest")"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2 RF\n"},
      {"control bytes shown as dots",
       type("NodeUpEvent", "\"nodeCall\":\"N\x1b[2J\",\"version\":\"1\x07\""),
       "N.[2J <NODE UP> 1.\n"},
      {"percent signs printed as they are",
       type("NodeUpEvent", R"("nodeCall":"%s%n","software":"100%")"), "%s%n <NODE UP> 100%\n"},
  };
  check_all(cases);
}

TEST_F(StatusReports, SwitchOffOrMandatoryKeyMissingPrintsNothingAtAll) {
  // Every part of the preamble on, and warnings too: still not a byte.
  const std::uint32_t everything =
      TF_COLOUR | TF_COLOUR_TO_FILE | TF_RAW_JSON | TF_TIMESTAMP | TF_BLANK_LINE | TF_WARNINGS;
  const struct {
    std::uint32_t set;
    const char* type;
    std::string keys;
  } dropped[] = {
      {everything, "LinkStatus", R"("port":"3","local":"A","remote":"B","direction":"x")"},
      {everything, "LinkStatus", R"("node":"N","local":"A","remote":"B","direction":"x")"},
      {everything, "LinkStatus", R"("node":"N","port":"3","remote":"B","direction":"x")"},
      {everything, "LinkStatus", R"("node":"N","port":"3","local":"A","direction":"x")"},
      {everything, "LinkStatus", R"("node":"N","port":"3","local":"A","remote":"B")"},
      {everything, "CircuitStatus", R"("local":"A","remote":"B","direction":"x")"},
      {everything, "CircuitStatus", R"("node":"N","remote":"B","direction":"x")"},
      {everything, "CircuitStatus", R"("node":"N","local":"A","direction":"x")"},
      {everything, "CircuitStatus", R"("node":"N","local":"A","remote":"B")"},
      {everything, "NodeStatus", R"("nodeAlias":"A","uptimeSecs":1)"},
      // "node" is not "nodeCall", and "nodeCall" is not "node".
      {everything, "NodeStatus", R"("node":"N")"},
      {everything, "LinkStatus",
       R"("nodeCall":"N","port":"3","local":"A","remote":"B","direction":"x")"},
      // Each family needs its own switch.
      {everything | TF_CIRCUIT_REPORTS | TF_NODE_REPORTS, "LinkStatus", LINK_KEYS},
      {everything | TF_LINK_REPORTS | TF_NODE_REPORTS, "CircuitStatus", CIRCUIT_KEYS},
      {everything | TF_LINK_REPORTS | TF_CIRCUIT_REPORTS, "NodeStatus", R"("nodeCall":"N")"},
  };
  for (const auto& d : dropped) {
    SCOPED_TRACE(std::string(d.type) + " " + d.keys);
    flags(d.set | (d.set == everything ? ALL_REPORTS : 0));
    const ChannelText out = report(type(d.type, d.keys));
    EXPECT_EQ(visible(out.console), "");
    EXPECT_EQ(visible(out.capture), "");
  }
}

TEST_F(StatusReports, PreambleColourEchoBlankLineTimeStampInThatOrder) {
  const std::string link = type("LinkUpEvent", std::string(LINK_KEYS) + R"(,"time":3723)");
  const std::string circuit = type("CircuitUpEvent", std::string(CIRCUIT_KEYS) + R"(,"time":3723)");
  const std::string node = type("NodeUpEvent", R"("nodeCall":"N","time":3723)");
  const char* link_line = "NODE1(3) <LINK UP> AAA-1 > BBB-2\n";
  const char* circuit_line = "NODE1 <CCT UP> [AAA-1 < BBB-2]\n";
  const char* node_line = "N <NODE UP>\n";
  const struct {
    const char* what;
    std::uint32_t set;
    std::uint32_t clear;
    const std::string& report;
    std::string expected;
  } cases[] = {
      {"link, everything", TF_COLOUR | TF_COLOUR_TO_FILE | TF_RAW_JSON | TF_TIMESTAMP, 0, link,
       OUTGOING_COLOUR + link + "\n\n01:02:03 " + link_line},
      {"circuit, everything", TF_COLOUR | TF_COLOUR_TO_FILE | TF_RAW_JSON | TF_TIMESTAMP, 0,
       circuit, INCOMING_COLOUR + circuit + "\n\n01:02:03 " + circuit_line},
      {"node, everything", TF_COLOUR | TF_COLOUR_TO_FILE | TF_RAW_JSON | TF_TIMESTAMP, 0, node,
       NODE_COLOUR + node + "\n\n01:02:03 " + node_line},
      {"echo alone", TF_RAW_JSON, PLAIN, node, node + "\n" + node_line},
      {"blank line alone", 0, TF_COLOUR | TF_TIMESTAMP, node, std::string("\n") + node_line},
      {"time stamp alone", TF_TIMESTAMP, TF_COLOUR | TF_BLANK_LINE, node,
       std::string("01:02:03 ") + node_line},
      {"colour alone", TF_COLOUR | TF_COLOUR_TO_FILE, TF_TIMESTAMP | TF_BLANK_LINE, circuit,
       INCOMING_COLOUR + std::string(circuit_line)},
      // -c wins over -C.
      {"colour to file without colour", TF_COLOUR_TO_FILE, PLAIN, node, node_line},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    flags(ALL_REPORTS | c.set, c.clear);
    const ChannelText out = report(c.report);
    EXPECT_EQ(visible(out.capture), visible(c.expected));
    EXPECT_EQ(visible(out.console), visible(c.expected));
  }
}

TEST_F(StatusReports, EchoShowsControlBytesAsDots) {
  flags(TF_NODE_REPORTS | TF_RAW_JSON, PLAIN);
  const ChannelText out =
      report("\"@type\":\"NodeUpEvent\",\"nodeCall\":\"N\",\"x\":\"\x1b]0;\x07\"");
  EXPECT_EQ(visible(out.capture),
            visible("\"@type\":\"NodeUpEvent\",\"nodeCall\":\"N\",\"x\":\".]0;.\"\nN <NODE UP>\n"));
}

TEST_F(StatusReports, ColourWithoutColourToFileReachesTheConsoleAlone) {
  const std::string link = type("LinkUpEvent", LINK_KEYS);
  const std::string circuit = type("CircuitUpEvent", CIRCUIT_KEYS);
  const std::string node = type("NodeUpEvent", R"("nodeCall":"N")");
  const struct {
    const char* what;
    std::uint32_t set;
    const std::string& report;
    std::string console;
    std::string capture;
  } cases[] = {
      {"link", 0, link, OUTGOING_COLOUR + std::string("NODE1(3) <LINK UP> AAA-1 > BBB-2\n"),
       "NODE1(3) <LINK UP> AAA-1 > BBB-2\n"},
      {"link, quiet", TF_QUIET, link, OUTGOING_COLOUR, "NODE1(3) <LINK UP> AAA-1 > BBB-2\n"},
      {"circuit, quiet", TF_QUIET, circuit, INCOMING_COLOUR, "NODE1 <CCT UP> [AAA-1 < BBB-2]\n"},
      {"node, quiet", TF_QUIET, node, NODE_COLOUR, "N <NODE UP>\n"},
      {"node, quiet, colour to file", TF_QUIET | TF_COLOUR_TO_FILE, node, "",
       NODE_COLOUR + std::string("N <NODE UP>\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    flags(ALL_REPORTS | TF_COLOUR | c.set, TF_TIMESTAMP | TF_BLANK_LINE);
    const ChannelText out = report(c.report);
    EXPECT_EQ(visible(out.console), visible(c.console));
    EXPECT_EQ(visible(out.capture), visible(c.capture));
  }
}

TEST_F(StatusReports, KeysFoundWhateverTheirCaseAndOrder) {
  flags(TF_LINK_REPORTS, PLAIN);
  const ReportCase cases[] = {
      {"keys in another order and case",
       type("LinkStatus", R"("Direction":"outgoing","REMOTE":"B","Local":"A","Port":7,)"
                          R"("NODE":"N","l2rttms":5,"FRMSQUEUED":1)"),
       "N(7) <LINK STATUS> A > B\n  \n   rtt=5ms txq=1\n"},
  };
  check_all(cases);
}

}  // namespace
