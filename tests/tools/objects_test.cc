// Choosing what a subscriber of one node port is sent of a datagram.
#include "sim/objects.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace sim {
namespace {

TEST(ObjectsTest, CutsReportsAsTheClientDoes) {
  struct Case {
    std::string datagram;
    std::vector<std::string> reports;
  };
  const std::vector<Case> cases = {
      {R"([{"port":"1"},{"node":{"port":"2"}}])", {R"("port":"1")", R"("node":{"port":"2"})"}},
      {R"(noise {"text":"a}b{c"} })", {R"("text":"a}b{c")"}},
      {std::string("{\"a\":1}\0{\"b\":2}", 15), {R"("a":1)"}},
      {"{" + std::string(1499, ' '), {}},
      {"{" + std::string(1498, ' ') + "}", {std::string(1498, ' ')}},
      {"{" + std::string(1499, ' ') + "}", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(report_texts(c.datagram), c.reports) << c.datagram;
}

TEST(ObjectsTest, ReadsTheTopLevelPortLikeAtoi) {
  struct Case {
    std::string report;
    std::optional<int> port;
  };
  const std::vector<Case> cases = {
      {R"("port":"3")", 3},
      {R"("port":3)", 3},
      {R"("port":"03")", 3},
      {R"( "@type" : "L2Trace" , "port" : " 12x" )", 12},
      {R"("port":"-1")", -1},
      {R"("port":"radio")", 0},
      {R"("port":true)", 0},
      {R"("port":"")", 0},
      {R"("@type":"NodeStatus","nodeCall":"N0DE")", std::nullopt},
      {R"("PORT":"3")", std::nullopt},
      {R"("node":{"port":"5"},"port":"7")", 7},
      {R"("nodes":[{"port":"5"}],"srce":"A")", std::nullopt},
      {R"("text":"\"port\":\"4\"","port":"2")", 2},
      {R"("text":"port","l2Type":"UI")", std::nullopt},
      {"", std::nullopt},
      {R"("port")", std::nullopt},
      {R"("port":)", 0},
      {R"("a":,"port":"4")", 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(object_port(c.report), c.port) << c.report;
  }
}

TEST(ObjectsTest, KeepsForEachPortOnlyItsReports) {
  const std::string p3 = R"({"@type":"L2Trace","port":"3"})";
  const std::string p4 = R"({"@type":"L2Trace","port":4})";
  const std::string any = R"({"@type":"NodeStatus","nodeCall":"N0DE"})";
  struct Case {
    std::string datagram;
    int port;
    std::optional<std::string> sent;
  };
  const std::vector<Case> cases = {
      {p3, 3, p3},
      {p3, 4, std::nullopt},
      {p3, 0, p3},
      {any, 4, any},
      {p3 + p4, 4, p4},
      {p3 + p4, 0, p3 + p4},
      {"[" + p3 + ",\n" + any + "]", 3, "[" + p3 + ",\n" + any + "]"},
      {"[" + p3 + "," + p4 + "," + any + "]", 4, p4 + any},
      {"[" + p3 + "," + p3 + "]", 7, std::nullopt},
      {"not json at all", 3, "not json at all"},
      {"", 3, ""},
      {p4 + R"({"port":"3",)", 3, std::nullopt},
      {R"({"port":"03"})", 3, R"({"port":"03"})"},
      {R"({"port":"99999999999999"})", 65535, std::nullopt},
      {R"({"port":"65539"})", 3, std::nullopt},
      // The client stops at a zero byte: what follows is not looked at.
      {p3 + std::string(1, '\0') + p4, 3, p3 + std::string(1, '\0') + p4},
      {p4 + std::string(1, '\0') + p3, 3, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(datagram_for_port(c.datagram, c.port), c.sent) << c.datagram << " for " << c.port;
  }
}

}  // namespace
}  // namespace sim
