// Subscriptions to the emulated trace service: taking them in, renewing and
// forgetting them, on an injected clock.
#include "sim/subscribers.h"

#include <gtest/gtest.h>

#include <string>

namespace sim {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr Endpoint ALICE{0x7F000001, 32000};
constexpr Endpoint BOB{0x7F000001, 32001};

TEST(SubscribersTest, TakesTwoByteSubscriptionsAndIgnoresTheRest) {
  const Clock::time_point t0{};
  struct Case {
    std::string datagram;
    Heard heard;
    uint16_t node_port;
  };
  const std::vector<Case> cases = {
      {std::string("\x00\x03", 2), Heard::SUBSCRIBED, 3},
      {std::string("\x01\x2c", 2), Heard::RENEWED, 300},
      {std::string("\x00\x00", 2), Heard::RENEWED, 0},
      {std::string("\xff\xff", 2), Heard::RENEWED, 65535},
      {std::string("\x00", 1), Heard::IGNORED, 65535},
      {std::string("\x00\x03\x00", 3), Heard::IGNORED, 65535},
      {"", Heard::IGNORED, 65535},
  };
  SubscriberTable table;
  for (const Case& c : cases) {
    EXPECT_EQ(table.hear(ALICE, c.datagram, t0), c.heard) << c.datagram.size();
    ASSERT_EQ(table.subscribers().size(), 1u);
    EXPECT_EQ(table.subscribers()[0].node_port, c.node_port);
  }
  EXPECT_EQ(table.hear(BOB, std::string("\x00\x04", 2), t0), Heard::SUBSCRIBED);
  EXPECT_EQ(table.subscribers().size(), 2u);
  EXPECT_EQ(endpoint_text(BOB), "127.0.0.1:32001");
}

TEST(SubscribersTest, ForgetsOnlyWhoMissedThreeRenewals) {
  const Clock::time_point t0{};
  const std::string all("\x00\x00", 2);
  SubscriberTable table;
  table.hear(ALICE, all, t0);
  table.hear(BOB, all, t0 + seconds(5));
  table.forget_silent(t0 + seconds(33));
  EXPECT_EQ(table.subscribers().size(), 2u);
  table.forget_silent(t0 + seconds(33) + milliseconds(1));
  ASSERT_EQ(table.subscribers().size(), 1u);
  EXPECT_EQ(table.subscribers()[0].from, BOB);
  // Renewals every 11 s keep a subscriber for as long as they come.
  for (int renewal = 1; renewal <= 10; ++renewal) {
    table.hear(BOB, all, t0 + seconds(5 + 11 * renewal));
    table.forget_silent(t0 + seconds(5 + 11 * renewal) + seconds(30));
    EXPECT_EQ(table.subscribers().size(), 1u) << renewal;
  }
  table.forget_silent(t0 + seconds(5 + 110 + 34));
  EXPECT_TRUE(table.subscribers().empty());
  // A forgotten subscriber that comes back is a new subscription.
  EXPECT_EQ(table.hear(ALICE, all, t0 + seconds(200)), Heard::SUBSCRIBED);
}

TEST(SubscribersTest, StaysBoundedWhateverSubscribes) {
  const Clock::time_point t0{};
  SubscriberTable table;
  for (uint16_t port = 1; port <= MAX_SUBSCRIBERS + 5; ++port) {
    table.hear(Endpoint{0x7F000002, port}, std::string("\x00\x01", 2), t0);
  }
  EXPECT_EQ(table.subscribers().size(), MAX_SUBSCRIBERS);
  EXPECT_EQ(table.hear(Endpoint{0x7F000002, 1}, std::string("\x00\x02", 2), t0), Heard::RENEWED);
  EXPECT_EQ(table.hear(Endpoint{0x7F000003, 1}, std::string("\x00\x02", 2), t0), Heard::REFUSED);
}

}  // namespace
}  // namespace sim
