// The console's word on a node that does not answer: once each, on the
// console alone, and the first-minute hint only when nothing came.
#include "app/service_watch.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/report_harness.h"

namespace {

using Clock = ServiceWatch::Clock;

Clock::time_point at(std::chrono::seconds since_start) {
  return Clock::time_point{} + since_start;
}

constexpr std::uint32_t NODE = 0x7F0B0401;  // 127.11.4.1

class ServiceWatchTest : public ReportTest {};

TEST_F(ServiceWatchTest, RefusalToldOnceAndItsEndOnce) {
  ServiceWatch watch(NODE, 7373);
  watch.subscribed(at(std::chrono::seconds(0)));
  watch.refused();
  watch.refused();
  EXPECT_EQ(take_output().console,
            "[No trace service at 127.11.4.1:7373 (connection refused); still trying]\n");
  // Nothing more while refused: the hint adds nothing to a refusal.
  watch.check(at(std::chrono::seconds(61)));
  EXPECT_EQ(watch.next_due(), Clock::time_point::max());
  watch.received();
  watch.received();
  ChannelText out = take_output();
  EXPECT_EQ(out.console, "[Trace service at 127.11.4.1:7373 answering]\n");
  EXPECT_EQ(out.capture, "");
  // A node that goes away again later is told again.
  watch.refused();
  EXPECT_NE(take_output().console, "");
}

TEST_F(ServiceWatchTest, HintOnceWhenNoReportInTheFirstMinute) {
  ServiceWatch watch(NODE, 7373);
  EXPECT_EQ(watch.next_due(), Clock::time_point::max());
  watch.subscribed(at(std::chrono::seconds(5)));
  watch.subscribed(at(std::chrono::seconds(16)));  // renewals do not move it
  EXPECT_EQ(watch.next_due(), at(std::chrono::seconds(65)));
  watch.check(at(std::chrono::seconds(64)));
  EXPECT_EQ(take_output().console, "");
  watch.check(at(std::chrono::seconds(65)));
  watch.check(at(std::chrono::seconds(200)));
  const ChannelText out = take_output();
  EXPECT_EQ(out.console,
            "[No report from 127.11.4.1:7373 in 60 s: is the address right and the node's trace "
            "service on? A quiet port sends nothing.]\n");
  EXPECT_EQ(out.capture, "");
  // Said: no more wake-ups for it.
  EXPECT_EQ(watch.next_due(), Clock::time_point::max());
}

TEST_F(ServiceWatchTest, NoHintOnceAReportHasCome) {
  ServiceWatch watch(NODE, 7373);
  watch.subscribed(at(std::chrono::seconds(0)));
  watch.received();
  EXPECT_EQ(watch.next_due(), Clock::time_point::max());
  watch.check(at(std::chrono::seconds(100)));
  EXPECT_EQ(take_output().console, "");
}

}  // namespace
