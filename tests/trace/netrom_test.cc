// NET/ROM decode: the network header, L3RTT packets and every transport kind.
#include "trace/netrom.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/report_harness.h"

namespace {

struct DecodeCase {
  const char* name;
  const char* report;
  const char* expected;
};

class NetromTest : public ReportTest {
 protected:
  // What decode_l4 alone appends to a trace, checked on both channels.
  std::string transport(const char* report_text) {
    {
      TraceText text;
      decode_l4(report_text, text);
    }
    const ChannelText out = take_output();
    EXPECT_EQ(out.console, out.capture);
    return out.capture;
  }
};

// Keys that no kind but the unlisted ones prints: the circuit where a kind
// has none, the flags where a kind has no tail.
#define STRAY R"(,"toCct":"3","chokeFlag":true,"nakFlag":true,"moreFlag":true)"
#define CONN_KEYS                                                                     \
  R"(,"toCct":"3","fromCct":"7","window":"4","srcUser":"G4RST","srcNode":"G4RST-1",)" \
  R"("service":"2","l4t1":"120","bpqSpy":"1","chokeFlag":1,"txSeq":"9","text":"x")"

const DecodeCase TRANSPORT_CASES[] = {
    {"prot_ext_all", R"("l4type":"PROT EXT","l4Family":"6","l4Proto":"TCP")" STRAY,
     " <PROT EXT> pf=6 prot=TCP"},
    {"prot_ext_bare", R"("l4type":"PROT EXT")", " <PROT EXT>"},
    {"ip", R"("l4type":"IP")" STRAY, " <IP>"},
    {"ncmp", R"("l4type":"NCMP")" STRAY, " <NCMP>"},
    {"ndp", R"("l4type":"NDP")" STRAY, " <NDP>"},
    {"gnet", R"("l4type":"GNET")" STRAY, " <GNET>"},
    {"nrr_request_all", R"("l4type":"NRR Request","nrrId":"12","nrrRoute":"G1AAA G2BBB*")" STRAY,
     " <NRR Request> id=12\n    Route: G1AAA G2BBB*"},
    {"nrr_reply_bare", R"("l4type":"NRR Reply")", " <NRR Reply>"},
    {"nrr_reply_route_only", R"("l4type":"NRR Reply","nrrRoute":"G1AAA")",
     " <NRR Reply>\n    Route: G1AAA"},
    {"conn_req_all", R"("l4type":"CONN REQ")" CONN_KEYS,
     " cct=3 <CONN REQ> myCct=7 w=4\n          G4RST at G4RST-1 svc=2 t/o=120 bpqSpy=1"},
    {"conn_req_bare", R"("l4type":"CONN REQ")", " <CONN REQ>"},
    {"conn_req_without_user",
     R"("l4type":"CONN REQ","toCct":"3","window":"4","srcNode":"G4RST-1","service":"2",)"
     R"("l4t1":"120","bpqSpy":"1")",
     " cct=3 <CONN REQ> w=4"},
    {"conn_req_user_only", R"("l4type":"CONN REQ","srcUser":"G4RST")",
     " <CONN REQ>\n          G4RST"},
    {"conn_reqx_all", R"("l4type":"CONN_REQX")" CONN_KEYS,
     " cct=3 <CONN_REQX> myCct=7 w=4\n          G4RST at G4RST-1 svc=2 t/o=120 bpqSpy=1"},
    {"conn_reqx_with_space_is_unlisted", R"("l4type":"CONN REQX")" CONN_KEYS, " cct=3 <CHOKE>"},
    {"conn_ack_all", R"("l4type":"CONN ACK","fromCct":"7","window":"4")" STRAY,
     " cct=3 <CONN ACK> w=4 myCct=7"},
    {"conn_ack_bare", R"("l4type":"CONN ACK")", " <CONN ACK>"},
    {"conn_nak", R"("l4type":"CONN NAK")" STRAY, " cct=3 <CONN NAK>"},
    {"dreq", R"("l4type":"DREQ")" STRAY, " cct=3 <DREQ>"},
    {"dack", R"("l4type":"DACK")" STRAY, " cct=3 <DACK>"},
    {"dack_bare", R"("l4type":"DACK")", " <DACK>"},
    {"rset_all", R"("l4type":"RSET","fromCct":"7")" STRAY, " cct=3 <RSET> myCct=7"},
    {"rset_bare", R"("l4type":"RSET")", " <RSET>"},
    {"info_all",
     R"("l4type":"INFO","txSeq":"5","rxSeq":"2","paylen":"12","text":"Hello there!")" STRAY,
     " cct=3 <INFO S5 R2> ilen=12:\n    Hello there! <CHOKE> <NAK> <MORE>"},
    {"info_bare", R"("l4type":"INFO")", " <INFO>"},
    {"info_more_after_text", R"("l4type":"INFO","text":"part one","moreFlag":true)",
     " <INFO>:\n    part one <MORE>"},
    {"info_ack_all", R"("l4type":"INFO ACK","rxSeq":"2","txSeq":"5","text":"x")" STRAY,
     " cct=3 <INFO ACK R2> <CHOKE> <NAK> <MORE>"},
    {"info_ack_bare", R"("l4type":"INFO ACK")", " <INFO ACK>"},
    {"unlisted_all", R"("l4type":"SOMETHING","rxSeq":"2")" STRAY, " cct=3 <CHOKE> <NAK> <MORE>"},
    {"unlisted_bare", R"("l4type":"SOMETHING")", ""},
    {"kinds_compare_with_case", R"("l4type":"info","toCct":"3")", " cct=3"},
    {"flags_whatever_their_value",
     R"("l4type":"INFO ACK","chokeFlag":false,"nakFlag":0,"moreFlag":"")",
     " <INFO ACK> <CHOKE> <NAK> <MORE>"},
    {"empty_values", R"("l4type":"CONN ACK","toCct":"","window":"","fromCct":"")",
     " cct= <CONN ACK> w= myCct="},
    {"short_values_cut_at_eight", R"("l4type":"RSET","toCct":"123456789","fromCct":"ABCDEFGHIJ")",
     " cct=12345678 <RSET> myCct=ABCDEFGH"},
    {"user_and_node_cut_at_nine",
     R"("l4type":"CONN REQ","srcUser":"G4RST-1234","srcNode":"ABCDEFGHIJK")",
     " <CONN REQ>\n          G4RST-123 at ABCDEFGHI"},
    {"control_bytes_in_text_shown_as_dots", "\"l4type\":\"INFO\",\"text\":\"a\x1b[2Jb\"",
     " <INFO>:\n    a.[2Jb"},
};

TEST_F(NetromTest, EveryTransportKind) {
  for (const DecodeCase& c : TRANSPORT_CASES) {
    EXPECT_EQ(visible(transport(c.report)), visible(c.expected)) << c.name;
  }
}

TEST_F(NetromTest, LongValuesAreCutAtTheirLimits) {
  const std::string text(3000, 't');
  const std::string route(2100, 'r');
  const std::string info = R"("l4type":"INFO","text":")" + text + "\"";
  EXPECT_EQ(transport(info.c_str()), " <INFO>:\n    " + text.substr(0, 2047));
  const std::string nrr = R"("l4type":"NRR Request","nrrId":")" + std::string(90, 'i') +
                          R"(","nrrRoute":")" + route + "\"";
  EXPECT_EQ(transport(nrr.c_str()),
            " <NRR Request> id=" + std::string(80, 'i') + "\n    Route: " + route.substr(0, 2047));
  const std::string ext = R"("l4type":"PROT EXT","l4Family":")" + std::string(85, 'f') + "\"";
  EXPECT_EQ(transport(ext.c_str()), " <PROT EXT> pf=" + std::string(80, 'f'));
}

struct WarningCase {
  const char* name;
  const char* report;
  const char* with_warnings;
  const char* without_warnings;
};

const WarningCase TRANSPORT_WARNINGS[] = {
    {"missing", R"("toCct":"3","text":"x")", " [missing l4type]\n", ""},
    {"unknown", R"("l4type":"unknown","toCct":"3")", " [unknown l4type]\n", ""},
};

TEST_F(NetromTest, TransportWarningsGoToTheTrace) {
  for (const WarningCase& c : TRANSPORT_WARNINGS) {
    flags(TF_WARNINGS);
    {
      TraceText text;
      decode_l4(c.report, text);
    }
    ChannelText out = take_output();
    EXPECT_EQ(visible(out.capture), visible(c.with_warnings)) << c.name;
    EXPECT_EQ(out.console, out.capture) << c.name;
    flags(0);
    EXPECT_EQ(transport(c.report), c.without_warnings) << c.name;
  }
}

TEST_F(NetromTest, TransportOffPrintsNothingNotEvenAWarning) {
  flags(TF_WARNINGS, TF_L4);
  EXPECT_EQ(transport(R"("l4type":"INFO","toCct":"3")"), "");
  EXPECT_EQ(transport(R"("toCct":"3")"), "");
}

// The whole chain from an L2 trace of a NET/ROM frame.
#define FRAME                                                                              \
  R"("@type":"L2Trace","reportFrom":"N0DE","port":"3","srce":"G4ABC-1","dest":"G4XYZ-2",)" \
  R"("l2Type":"I","dirn":"rcvd","isRF":true,"ptcl":"NET/ROM",)"
#define FRAME_START "\n(3)R G4ABC-1>G4XYZ-2 <I> NET/ROM"

struct ChainCase {
  const char* name;
  std::uint32_t set;
  std::uint32_t clear;
  const char* report;
  const char* expected;
};

const ChainCase CHAIN_CASES[] = {
    {"network_header", 0, 0,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"G4XYZ","ttl":7,"l4type":"DACK")",
     FRAME_START "\n    NTRM: G4ABC to G4XYZ ttl=7 <DACK>\n"},
    {"no_source_stays_on_the_line", 0, 0,
     FRAME R"("l3Type":"NetRom","l3dst":"G4XYZ","ttl":7,"l4type":"DACK")",
     FRAME_START " to G4XYZ ttl=7 <DACK>\n"},
    {"no_destination_goes_to_transport", 0, 0,
     FRAME R"("l3Type":"NetRom","l3src":"L3RTT","l4type":"DACK")",
     FRAME_START "\n    NTRM: L3RTT <DACK>\n"},
    {"network_values_cut", 0, 0,
     FRAME R"("l3Type":"NetRom","l3src":"ABCDEFGHIJKL","l3dst":"MNOPQRSTUVWX","ttl":"123456789")",
     FRAME_START "\n    NTRM: ABCDEFGHIJ to MNOPQRSTUV ttl=12345678\n"},
    {"layer_3_off", 0, TF_L3, FRAME R"("l3Type":"NetRom","l3src":"G4ABC")", FRAME_START "\n"},
    {"layer_3_off_no_warning", TF_WARNINGS, TF_L3, FRAME R"("l3src":"G4ABC")", FRAME_START "\n"},
    {"routing_poll", TF_WARNINGS, 0, FRAME R"("l3Type":"Routing poll","l3src":"G4ABC")",
     FRAME_START "\n"},
    {"missing_l3_type", TF_WARNINGS, 0, FRAME R"("l3src":"G4ABC")",
     FRAME_START " [missing 'l3Type']\n"},
    {"missing_l3_type_quiet", 0, 0, FRAME R"("l3src":"G4ABC")", FRAME_START "\n"},
    {"lower_case_netrom", TF_WARNINGS, 0, FRAME R"("l3Type":"netrom","l3src":"G4ABC")",
     FRAME_START " [unknown 'l3type': 'netrom'\n"},
    {"lower_case_netrom_quiet", 0, 0, FRAME R"("l3Type":"netrom","l3src":"G4ABC")",
     FRAME_START "\n"},
    {"l3rtt_with_info", 0, 0,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"L3RTT","ttl":2,"paylen":"40",)"
           R"("payload":"   1234    5678 L3RTT: G4ABC-1","l4type":"INFO","toCct":"1")",
     FRAME_START "\n    NTRM: G4ABC to L3RTT ttl=2 ilen=40:\n       1234    5678 L3RTT: G4ABC-1\n"},
    {"l3rtt_without_info", 0, TF_L3RTT_INFO,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"L3RTT","ttl":2,"paylen":"40",)"
           R"("payload":"1234")",
     FRAME_START "\n    NTRM: G4ABC to L3RTT ttl=2 ilen=40\n"},
    {"l3rtt_with_transport_off", 0, TF_L4,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"L3RTT","paylen":"40","payload":"p")",
     FRAME_START "\n    NTRM: G4ABC to L3RTT ilen=40:\n    p\n"},
    {"l3rtt_lower_case_is_transport", TF_WARNINGS, 0,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"l3rtt","paylen":"40")",
     FRAME_START "\n    NTRM: G4ABC to l3rtt [missing l4type]\n\n"},
    {"transport_off", TF_WARNINGS, TF_L4,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"G4XYZ","ttl":7,"l4type":"unknown")",
     FRAME_START "\n    NTRM: G4ABC to G4XYZ ttl=7\n"},
    {"unknown_transport_leaves_an_empty_line", TF_WARNINGS, 0,
     FRAME R"("l3Type":"NetRom","l3src":"G4ABC","l3dst":"G4XYZ","ttl":7,"l4type":"unknown")",
     FRAME_START "\n    NTRM: G4ABC to G4XYZ ttl=7 [unknown l4type]\n\n"},
};

TEST_F(NetromTest, DecodeChainFromTheL2Trace) {
  for (const ChainCase& c : CHAIN_CASES) {
    flags(c.set, c.clear | TF_TIMESTAMP | TF_COLOUR);
    const ChannelText out = report(c.report);
    EXPECT_EQ(visible(out.capture), visible(c.expected)) << c.name;
    EXPECT_EQ(out.console, out.capture) << c.name;
  }
}

}  // namespace
