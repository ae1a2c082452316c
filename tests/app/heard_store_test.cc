// The heard file's timed saves on a fake monotonic clock: a minute after
// the start, then a minute after each, and none without a heard file.
#include "app/heard_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/report_harness.h"
#include "tests/support/test_environment.h"

namespace {

using std::chrono::seconds;

MonotonicClock::time_point at(MonotonicClock::duration since_start) {
  return MonotonicClock::time_point{} + since_start;
}

class HeardStore : public ReportTest {};

TEST_F(HeardStore, SavesAMinuteAfterTheStartThenAMinuteAfterEach) {
  EXPECT_EQ(next_heard_save(), MonotonicClock::time_point::max());
  const TestDir work;
  const std::string path = work / "heard.txt";
  ASSERT_TRUE(open_heard_file(path.c_str(), at(seconds(5))));
  EXPECT_EQ(next_heard_save(), at(seconds(65)));
  save_heard_file_if_due(at(seconds(65) - std::chrono::nanoseconds(1)));
  EXPECT_FALSE(std::filesystem::exists(path));
  save_heard_file_if_due(at(seconds(65)));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(next_heard_save(), at(seconds(125)));
  // After a long stall the next is a minute away, not due at once.
  save_heard_file_if_due(at(seconds(1000)));
  EXPECT_EQ(next_heard_save(), at(seconds(1060)));
  // A second opener of the same file is refused.
  EXPECT_FALSE(open_heard_file(path.c_str(), at(seconds(0))));
  EXPECT_EQ(take_output().console, "Heard file '" + path + "' is in use by another client\n");
  EXPECT_EQ(next_heard_save(), MonotonicClock::time_point::max());
}

}  // namespace
