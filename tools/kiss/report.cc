// Report objects of pellarin-kiss: the JSON text of one frame's reports,
// kept within the trace service's datagram size, with every value that comes
// from the frame's bytes cleaned for the client's field lookup.
#include "kiss/report.h"

namespace kiss {

namespace {

// Room kept for the serial number and the part counter, whatever they are.
constexpr size_t SERIAL_ROOM = 20;
constexpr size_t PART_ROOM = sizeof ",\"part\":\"65535/65535\"" - 1;

char clean_byte(uint8_t byte) {
  if (byte == '"') return '\'';
  if (byte == '\\') return '/';
  if (byte == '\r' || byte == '\n' || byte == '\t') return ' ';
  if (byte < 0x20 || byte >= 0x7F) return '.';
  return static_cast<char>(byte);
}

std::string members_of(const sim::JsonObject& object) {
  const std::string text = object.text();
  return text.substr(1, text.size() - 2);
}

std::string string_array(const std::vector<std::string>& values) {
  std::string text = "[";
  for (const std::string& value : values) {
    if (text.size() > 1) text += ',';
    text += sim::json_string(value);
  }
  return text + "]";
}

}  // namespace

std::string clean_text(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const uint8_t byte : bytes) text += clean_byte(byte);
  return text;
}

std::string clean_text(std::string_view text) {
  return clean_text(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void FrameReport::set_text(std::string_view key, std::string_view value) {
  text_key_ = key;
  text_ = clean_text(value);
}

std::vector<std::string> FrameReport::build(uint64_t& serial, bool& cut_text) const {
  const std::string head = members_of(head_);
  std::string tail;
  if (!digis_.empty()) tail = ",\"digis\":" + string_array(digis_);
  size_t fixed = sizeof "{\"@type\":\"L2Trace\",\"serial\":" - 1 + SERIAL_ROOM + 1 + head.size() +
                 tail.size() + 1;
  if (!entries_key_.empty()) fixed += PART_ROOM + entries_key_.size() + sizeof ",\"\":[]" - 1;

  std::string text_member;
  cut_text = false;
  if (!text_.empty()) {
    const size_t overhead = text_key_.size() + sizeof ",\"\":\"\"" - 1;
    const size_t room = MAX_REPORT > fixed + overhead ? MAX_REPORT - fixed - overhead : 0;
    std::string value = text_;
    if (value.size() > room) {
      value.resize(room);
      cut_text = true;
    }
    text_member = "," + sim::json_string(text_key_) + ":" + sim::json_string(value);
  }

  // Entries packed greedily, each report as full as it may be.
  std::vector<std::vector<const std::string*>> parts(1);
  size_t used = fixed + text_member.size();
  for (const std::string& entry : entries_) {
    const size_t need = entry.size() + (parts.back().empty() ? 0 : 1);
    if (used + need > MAX_REPORT && !parts.back().empty()) {
      parts.emplace_back();
      used = fixed + text_member.size();
    }
    if (used + entry.size() > MAX_REPORT) continue;  // too big even alone
    used += entry.size() + (parts.back().empty() ? 0 : 1);
    parts.back().push_back(&entry);
  }

  std::vector<std::string> reports;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string report = "{\"@type\":\"L2Trace\",\"serial\":" + std::to_string(++serial);
    if (!head.empty()) report += "," + head;
    if (parts.size() > 1) {
      report += ",\"part\":\"" + std::to_string(i + 1) + "/" + std::to_string(parts.size()) + "\"";
    }
    report += text_member;
    if (!entries_key_.empty()) {
      report += "," + sim::json_string(entries_key_) + ":[";
      for (size_t k = 0; k < parts[i].size(); ++k) {
        if (k > 0) report += ',';
        report += *parts[i][k];
      }
      report += ']';
    }
    report += tail + "}";
    reports.push_back(std::move(report));
  }
  return reports;
}

}  // namespace kiss
