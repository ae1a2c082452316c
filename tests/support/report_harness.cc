// In-process test harness for formatters.
#include "tests/support/report_harness.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "dates/date_lines.h"
#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "output/channels.h"

void ReportTest::SetUp() {
  settings = Settings{};
  forget_dates();
  settings.trace_flags = TF_DEFAULTS & ~(TF_TIMESTAMP | TF_COLOUR);
  console_ = console_file_.emplace().stream();
  capture_ = capture_file_.emplace().stream();
  ASSERT_NE(console_, nullptr);
  ASSERT_NE(capture_, nullptr);
  set_console_stream(console_);
  settings.capture_file = capture_;
  console_taken_ = capture_taken_ = 0;
}

void ReportTest::TearDown() {
  set_console_stream(nullptr);
  settings = Settings{};
  console_file_.reset();
  capture_file_.reset();
  console_ = capture_ = nullptr;
}

void ReportTest::flags(std::uint32_t set, std::uint32_t clear) {
  settings.trace_flags = (TF_DEFAULTS & ~clear) | set;
}

ChannelText ReportTest::feed(std::string_view datagram) {
  std::vector<char> data(datagram.begin(), datagram.end());
  data.push_back('\0');
  split_datagram(data.data(), datagram.size(), dispatch_report);
  return take_output();
}

ChannelText ReportTest::report(std::string_view inner_text) {
  std::string datagram;
  datagram.reserve(inner_text.size() + 2);
  datagram += '{';
  datagram += inner_text;
  datagram += '}';
  return feed(datagram);
}

namespace {

// What was written to the stream since `taken`; leaves it positioned at its end.
std::string text_since(std::FILE* stream, long& taken) {
  std::fflush(stream);
  std::fseek(stream, 0, SEEK_END);
  const long end = std::ftell(stream);
  std::string text(static_cast<std::size_t>(end - taken), '\0');
  std::fseek(stream, taken, SEEK_SET);
  text.resize(std::fread(text.data(), 1, text.size(), stream));
  std::fseek(stream, 0, SEEK_END);
  taken = end;
  return text;
}

}  // namespace

ChannelText ReportTest::take_output() {
  return {text_since(console_, console_taken_), text_since(capture_, capture_taken_)};
}

void set_time_zone(const char* tz) {
#ifdef _WIN32
  _putenv_s("TZ", tz != nullptr ? tz : "");
  _tzset();
#else
  if (tz != nullptr) {
    setenv("TZ", tz, 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}

std::string visible(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\n':
        shown += "\\n\n";
        break;
      case '\t':
        shown += "\\t";
        break;
      case '\r':
        shown += "\\r";
        break;
      case '\033':
        shown += "\\e";
        break;
      case '\\':
        shown += "\\\\";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", byte);
          shown += hex;
        } else {
          shown += c;
        }
    }
  }
  return shown;
}
