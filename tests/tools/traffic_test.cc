// The emulator's traffic generator: its opening and the link statistics it
// reports, read back from the generated report objects.
#include "sim/traffic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/objects.h"

namespace sim {
namespace {

constexpr int64_t STEP_MS = 200;

// The text of a string member or the digits of a number member, as the
// generator writes them (no blanks, no escapes in these members).
std::string member(std::string_view object, std::string_view key) {
  // Appended piece by piece: GCC 12's -Wrestrict takes "\"" + std::string
  // for an overlapping copy in release builds.
  std::string quoted = "\"";
  quoted.append(key).append("\":");
  const size_t at = object.find(quoted);
  if (at == std::string_view::npos) return {};
  const size_t begin = at + quoted.size();
  if (begin < object.size() && object[begin] == '"') {
    return std::string(object.substr(begin + 1, object.find('"', begin + 1) - begin - 1));
  }
  size_t end = begin;
  while (end < object.size() && object[end] != ',' && object[end] != '}') ++end;
  return std::string(object.substr(begin, end - begin));
}

std::vector<std::string> objects_of(uint64_t seed, int datagrams,
                                    ReportClock clock = ReportClock::seeded) {
  TrafficGenerator generator(seed, STEP_MS, clock);
  std::vector<std::string> objects;
  for (int i = 0; i < datagrams; ++i) {
    const std::string datagram = generator.next_datagram();
    for (const std::string& report : report_texts(datagram)) objects.push_back(report);
  }
  return objects;
}

TEST(TrafficTest, TheOpeningHoldsEveryKindOfReport) {
  // Node reports other than status come only from the opening; the rest
  // could be drawn later too, but a short run must hold them all.
  const std::set<std::string> wanted = {
      "NodeUpEvent",
      "NodeStatus",
      "NodeDownEvent",
      "LinkUpEvent",
      "LinkStatus",
      "LinkDownEvent",
      "CircuitUpEvent",
      "CircuitStatus",
      "CircuitDownEvent",
      "L3Trace",
      "l2Type=I",
      "l2Type=RR",
      "l2Type=RNR",
      "l2Type=REJ",
      "l2Type=UI",
      "l2Type=SABM",
      "ptcl=DATA",
      "ptcl=IP",
      "ptcl=ARP",
      "type=NODES",
      "type=INP3",
      "l3dst=L3RTT",
      "l3Type=Routing poll",
  };
  for (const uint64_t seed : {1u, 2u, 42u, 1234567u}) {
    std::set<std::string> seen;
    for (const std::string& object : objects_of(seed, 40)) {
      seen.insert(member(object, "@type"));
      for (const char* key : {"l2Type", "ptcl", "type", "l3dst", "l3Type"}) {
        const std::string value = member(object, key);
        if (!value.empty()) seen.insert(std::string(key) + "=" + value);
      }
    }
    for (const std::string& kind : wanted) {
      EXPECT_TRUE(seen.count(kind)) << kind << " missing with seed " << seed;
    }
  }
}

TEST(TrafficTest, LinkStatisticsCountEveryFrameOnTheLink) {
  // Frames and bytes of each link since its LinkUpEvent, counted from the
  // L2 traces: every I frame (its ilen in bytes) and every RR, RNR and REJ.
  struct Counts {
    int64_t sent = 0;
    int64_t rcvd = 0;
    int64_t bytes_sent = 0;
    int64_t bytes_rcvd = 0;
  };
  for (const uint64_t seed : {1u, 7u, 99u}) {
    std::map<std::string, Counts> links;
    int checked = 0;
    for (const std::string& object : objects_of(seed, 1500)) {
      const std::string type = member(object, "@type");
      if (type == "LinkUpEvent") links[member(object, "remote")] = {};
      if (type == "L2Trace") {
        const std::string l2_type = member(object, "l2Type");
        if (l2_type != "I" && l2_type != "RR" && l2_type != "RNR" && l2_type != "REJ") continue;
        const bool sent = member(object, "dirn") == "sent";
        Counts& link = links[member(object, sent ? "dest" : "srce")];
        const int64_t bytes = l2_type == "I" ? std::stoll(member(object, "ilen")) : 0;
        (sent ? link.sent : link.rcvd) += 1;
        (sent ? link.bytes_sent : link.bytes_rcvd) += bytes;
      }
      if (type == "LinkStatus" || type == "LinkDownEvent") {
        const Counts& link = links[member(object, "remote")];
        EXPECT_EQ(std::stoll(member(object, "frmsSent")), link.sent) << object;
        EXPECT_EQ(std::stoll(member(object, "frmsRcvd")), link.rcvd) << object;
        EXPECT_EQ(std::stoll(member(object, "bytesSent")), link.bytes_sent) << object;
        EXPECT_EQ(std::stoll(member(object, "bytesRcvd")), link.bytes_rcvd) << object;
        ++checked;
      }
    }
    EXPECT_GT(checked, 10) << "seed " << seed;
  }
}

TEST(TrafficTest, OnTheWallClockReportsCarryTheCurrentTimeAndTheSameTraffic) {
  const int64_t before = std::time(nullptr);
  const std::vector<std::string> live = objects_of(5, 200, ReportClock::wall);
  const int64_t after = std::time(nullptr);
  const std::vector<std::string> seeded = objects_of(5, 200);
  ASSERT_EQ(live.size(), seeded.size());
  for (size_t i = 0; i < live.size(); ++i) {
    const int64_t time = std::stoll(member(live[i], "time"));
    EXPECT_TRUE(time >= before && time <= after) << live[i];
    EXPECT_EQ(member(live[i], "serial"), member(seeded[i], "serial"));
    EXPECT_EQ(member(live[i], "@type"), member(seeded[i], "@type"));
  }
}

}  // namespace
}  // namespace sim
