// In-process test harness for formatters.
#include "tests/support/report_harness.h"

#include <cstdlib>
#include <vector>

#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "output/channels.h"

void ReportTest::SetUp() {
  settings = Settings{};
  settings.trace_flags = TF_DEFAULTS & ~(TF_TIMESTAMP | TF_COLOUR);
  console_ = open_memstream(&console_data_, &console_size_);
  capture_ = open_memstream(&capture_data_, &capture_size_);
  set_console_stream(console_);
  settings.capture_file = capture_;
  console_taken_ = capture_taken_ = 0;
}

void ReportTest::TearDown() {
  set_console_stream(nullptr);
  settings = Settings{};
  std::fclose(console_);
  std::fclose(capture_);
  std::free(console_data_);
  std::free(capture_data_);
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

ChannelText ReportTest::take_output() {
  std::fflush(console_);
  std::fflush(capture_);
  ChannelText text{std::string(console_data_ + console_taken_, console_size_ - console_taken_),
                   std::string(capture_data_ + capture_taken_, capture_size_ - capture_taken_)};
  console_taken_ = console_size_;
  capture_taken_ = capture_size_;
  return text;
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
