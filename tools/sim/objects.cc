// Report objects in a trace datagram: choosing the ones a subscriber of one
// node port should get, cut out as the client cuts them.
#include "sim/objects.h"

#include <array>

#include "intake/datagram.h"
#include "intake/splitter.h"

namespace sim {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Position just past the JSON string that begins with the quote at `i`
// (the end of the text when it is not closed).
size_t skip_string(std::string_view text, size_t i) {
  for (++i; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return text.size();
}

// Position just past the value that begins at `i`: a string, a nested
// object or array, or a bare word or number.
size_t skip_value(std::string_view text, size_t i) {
  if (i >= text.size()) return i;
  if (text[i] == '"') return skip_string(text, i);
  if (text[i] == '{' || text[i] == '[') {
    int depth = 0;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '"') {
        i = skip_string(text, i);
        continue;
      }
      if (c == '{' || c == '[') ++depth;
      if (c == '}' || c == ']') --depth;
      ++i;
      if (depth == 0) break;
    }
    return i;
  }
  while (i < text.size() && text[i] != ',' && text[i] != '}' && text[i] != ']' &&
         !is_space(text[i])) {
    ++i;
  }
  return i;
}

// The splitter hands each report to a plain function; the reports of the
// datagram being cut are gathered here.
std::vector<std::string>* gathered_reports = nullptr;

void gather_report(const char* report) { gathered_reports->emplace_back(report); }

int leading_number(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  // Saturate rather than overflow: no node port comes near the bound.
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < 1000000) value = value * 10 + (text[i] - '0');
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

std::vector<std::string> report_texts(std::string_view datagram) {
  std::vector<std::string> reports;
  if (datagram.size() > MAX_DATAGRAM) return reports;
  std::array<char, MAX_DATAGRAM + 1> data{};
  datagram.copy(data.data(), datagram.size());
  gathered_reports = &reports;
  split_datagram(data.data(), datagram.size(), gather_report);
  gathered_reports = nullptr;
  return reports;
}

std::optional<int> object_port(std::string_view report) {
  size_t i = 0;
  while (i < report.size()) {
    while (i < report.size() && (is_space(report[i]) || report[i] == ',')) ++i;
    if (i >= report.size() || report[i] != '"') return std::nullopt;
    const size_t key_end = skip_string(report, i);
    const std::string_view key = report.substr(i + 1, key_end - i - 2);
    i = key_end;
    while (i < report.size() && is_space(report[i])) ++i;
    if (i >= report.size() || report[i] != ':') return std::nullopt;
    ++i;
    while (i < report.size() && is_space(report[i])) ++i;
    const size_t value_end = skip_value(report, i);
    if (key == "port") {
      std::string_view value = report.substr(i, value_end - i);
      if (!value.empty() && value.front() == '"') value.remove_prefix(1);
      return leading_number(value);
    }
    i = value_end;
  }
  return std::nullopt;
}

std::optional<std::string> datagram_for_port(std::string_view datagram, int port) {
  if (port == 0) return std::string(datagram);
  std::string kept;
  bool all_kept = true;
  for (const std::string& report : report_texts(datagram)) {
    const std::optional<int> object_port_number = object_port(report);
    if (!object_port_number || *object_port_number == port) {
      kept += '{';
      kept += report;
      kept += '}';
    } else {
      all_kept = false;
    }
  }
  if (all_kept) return std::string(datagram);
  if (kept.empty()) return std::nullopt;
  return kept;
}

}  // namespace sim
