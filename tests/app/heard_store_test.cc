// The heard file's timed saves on a fake monotonic clock: a minute after
// the start, then a minute after each when a report has counted since, and
// none without a heard file.
#include "app/heard_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "heard/heard.h"
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
  const auto hear_a_frame = [] {
    heard_observe(R"("port":"1","srce":"G4ABC","dest":"N0DE","l2Type":"UI","time":1765000000)",
                  "L2Trace");
  };
  ASSERT_TRUE(open_heard_file(path.c_str(), at(seconds(5))));
  EXPECT_EQ(next_heard_save(), at(seconds(65)));
  hear_a_frame();
  save_heard_file_if_due(at(seconds(65) - std::chrono::nanoseconds(1)));
  EXPECT_FALSE(std::filesystem::exists(path));
  save_heard_file_if_due(at(seconds(65)));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(next_heard_save(), at(seconds(125)));
  // Nothing heard since: the same list is not written again.
  std::filesystem::remove(path);
  save_heard_file_if_due(at(seconds(125)));
  EXPECT_FALSE(std::filesystem::exists(path));
  // After a long stall the next is a minute away, not due at once.
  hear_a_frame();
  save_heard_file_if_due(at(seconds(1000)));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(next_heard_save(), at(seconds(1060)));
  // A second opener of the same file is refused.
  EXPECT_FALSE(open_heard_file(path.c_str(), at(seconds(0))));
  EXPECT_EQ(take_output().console, "Heard file '" + path + "' is in use by another client\n");
  EXPECT_EQ(next_heard_save(), MonotonicClock::time_point::max());
}

}  // namespace
