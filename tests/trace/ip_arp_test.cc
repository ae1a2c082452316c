// IP and ARP summaries under a frame's trace line.
#include "trace/ip_arp.h"

#include <ostream>
#include <string>

#include "tests/support/report_harness.h"

namespace {

struct SummaryCase {
  const char* name;
  std::uint32_t set;
  std::uint32_t clear;
  std::string text;
  std::string expected;
};

void PrintTo(const SummaryCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string LONG_VALUE(100, 'v');

const SummaryCase IP_CASES[] = {
    {"addresses, length and ttl", 0, 0,
     R"("ptcl":"IP","ipFrom":"10.0.0.1","ipTo":"10.0.0.2","ipLen":84,"ipTTL":64)",
     "\n    IP: 10.0.0.1 > 10.0.0.2 iplen=84 ttl=64"},
    {"every field", 0, 0,
     R"("ipFrom":"44.131.1.1","ipTo":"44.131.1.2","ipLen":"1500","ipTTL":"255","ipID":"54321",)"
     R"("ipPtcl":"6","ipProto":"TCP")",
     "\n    IP: 44.131.1.1 > 44.131.1.2 iplen=1500 ttl=255 id=54321 ptcl=6 TCP"},
    {"fields in table order whatever the report's order", 0, 0,
     R"("ipProto":"ICMP","ipPtcl":"1","ipTo":"b","ipID":"7","ipFrom":"a")",
     "\n    IP: a > b id=7 ptcl=1 ICMP"},
    {"addresses alone", 0, 0, R"("ipFrom":"a","ipTo":"b")", "\n    IP: a > b"},
    {"no destination", TF_WARNINGS, 0, R"("ipFrom":"10.0.0.1","ipLen":84)", ""},
    {"no source", TF_WARNINGS, 0, R"("ipTo":"10.0.0.2","ipLen":84)", ""},
    {"switch clear", 0, TF_IP, R"("ipFrom":"a","ipTo":"b")", ""},
    {"values cut to their limits", 0, 0,
     R"("ipFrom":"192.168.100.200.17","ipTo":"2001:db8::1:2:3:4","ipLen":"1234567",)"
     R"("ipTTL":"1234","ipID":"1234567","ipPtcl":"ICMPv6x","ipProto":"123456789")",
     "\n    IP: 192.168.100.200 > 2001:db8::1:2:3 iplen=123456 ttl=123 id=123456 ptcl=ICMPv6"
     " 12345678"},
    {"empty values keep their labels", 0, 0, R"("ipFrom":"","ipTo":"","ipTTL":"")",
     "\n    IP:  >  ttl="},
    {"the frame's ptcl is not ipPtcl", 0, 0, R"("ptcl":"IP","ipFrom":"a","ipTo":"b")",
     "\n    IP: a > b"},
    {"control bytes shown as dots", 0, 0, "\"ipFrom\":\"a\x1b[31m\",\"ipTo\":\"b\r\"",
     "\n    IP: a.[31m > b."},
};

const SummaryCase ARP_CASES[] = {
    {"operation alone", 0, 0, R"("arpOp":"REQUEST")", "\n    ARP REQUEST"},
    {"all eight fields on two lines", 0, 0,
     R"("arpOp":"REQUEST","arpHwType":"AX.25","arpHwLen":7,"arpPtcl":"IP",)"
     R"("arpSndAddr":"44.131.1.1","arpTgtAddr":"44.131.1.2","arpSndHw":"G4RST-1",)"
     R"("arpTgtHw":"NOCALL")",
     "\n    ARP REQUEST hwtype=AX.25 hwlen=7 prot=IP"
     "\n    snd=44.131.1.1 tgt=44.131.1.2 snd_hw=G4RST-1 tgt_hw=NOCALL"},
    {"no sender address, one line", 0, 0,
     R"("arpOp":"REPLY","arpPtcl":"IP","arpTgtAddr":"44.131.1.2","arpSndHw":"G4RST-1",)"
     R"("arpTgtHw":"G4ABC")",
     "\n    ARP REPLY prot=IP tgt=44.131.1.2 snd_hw=G4RST-1 tgt_hw=G4ABC"},
    {"sender address begins the second line", 0, 0,
     R"("arpOp":"REQUEST","arpSndAddr":"44.131.1.1")", "\n    ARP REQUEST\n    snd=44.131.1.1"},
    {"no operation", TF_WARNINGS, 0, R"("arpHwType":"AX.25","arpSndAddr":"44.131.1.1")", ""},
    {"switch clear", 0, TF_ARP, R"("arpOp":"REQUEST")", ""},
    {"values cut to 79", 0, 0,
     R"("arpOp":")" + LONG_VALUE + R"(","arpTgtHw":")" + LONG_VALUE + "\"",
     "\n    ARP " + std::string(79, 'v') + " tgt_hw=" + std::string(79, 'v')},
    {"fields in table order whatever the report's order", 0, 0,
     R"("arpTgtHw":"T","arpSndAddr":"S","arpHwLen":"7","arpOp":"1")",
     "\n    ARP 1 hwlen=7\n    snd=S tgt_hw=T"},
};

class IpTest : public ReportTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(IpTest, Summary) {
  const SummaryCase& c = GetParam();
  flags(c.set, c.clear);
  {
    TraceText text;
    decode_ip(c.text.c_str(), text);
  }
  const ChannelText out = take_output();
  EXPECT_EQ(out.capture, c.expected) << visible(c.expected);
  EXPECT_EQ(out.console, c.expected);
}

INSTANTIATE_TEST_SUITE_P(IpArp, IpTest, ::testing::ValuesIn(IP_CASES));

class ArpTest : public ReportTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(ArpTest, Summary) {
  const SummaryCase& c = GetParam();
  flags(c.set, c.clear);
  {
    TraceText text;
    decode_arp(c.text.c_str(), text);
  }
  const ChannelText out = take_output();
  EXPECT_EQ(out.capture, c.expected) << visible(c.expected);
  EXPECT_EQ(out.console, c.expected);
}

INSTANTIATE_TEST_SUITE_P(IpArp, ArpTest, ::testing::ValuesIn(ARP_CASES));

}  // namespace
