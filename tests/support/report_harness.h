// In-process test harness: fresh settings, both output channels captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings.h"
#include "tests/support/test_environment.h"

struct ChannelText {
  std::string console;
  std::string capture;
};

// Resets the process-wide settings for every test (time stamps and colour
// off unless a test turns them on, so expected texts stay readable) and
// points the console and the capture file at files of the test's own
// (binary, removed after the test; open_memstream is not on every platform).
class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Sets trace_flags to TF_DEFAULTS with `clear` cleared and `set` set.
  void flags(std::uint32_t set, std::uint32_t clear = 0);

  // Feeds one datagram through the splitter and returns what each channel got.
  ChannelText feed(std::string_view datagram);

  // Wraps the report text in braces and feeds it as a datagram.
  ChannelText report(std::string_view inner_text);

  // The text written to each channel since the last call.
  ChannelText take_output();

  std::FILE* capture_stream() const { return capture_; }

 private:
  std::optional<TestFile> console_file_;
  std::optional<TestFile> capture_file_;
  std::FILE* console_ = nullptr;
  std::FILE* capture_ = nullptr;
  long console_taken_ = 0;
  long capture_taken_ = 0;
};

// Sets TZ (nullptr removes it) and makes the C library read it again.
void set_time_zone(const char* tz);

// Shows control characters as C escapes, so a failing comparison says
// exactly which bytes differ.
std::string visible(std::string_view text);
