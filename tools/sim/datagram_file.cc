// Datagram files: the plain-text format in which pellarin-sim replays,
// records and generates trace datagrams (docs/datagram-file.md).
#include "sim/datagram_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "sim/log.h"

namespace sim {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

LineResult fail(std::string error) {
  return LineResult{std::nullopt, std::move(error)};
}

LineResult parse_hex(std::string_view hex, std::optional<int64_t> at_ms) {
  DatagramRecord record{{}, at_ms};
  size_t i = 0;
  while (i < hex.size()) {
    if (is_blank(hex[i])) {
      ++i;
      continue;
    }
    const int high = hex_value(hex[i]);
    const int low = i + 1 < hex.size() ? hex_value(hex[i + 1]) : -1;
    if (high < 0 || low < 0) {
      return fail(format_text("bad hex digit pair at column %zu of the 'x' record", i + 1));
    }
    if (record.bytes.size() == MAX_DATAGRAM) {
      return fail(format_text("datagram is over %zu bytes", MAX_DATAGRAM));
    }
    record.bytes.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return LineResult{std::move(record), {}};
}

}  // namespace

LineResult parse_datagram_line(std::string_view line) {
  if (line.empty() || line.front() == '#') return {};
  std::optional<int64_t> at_ms;
  if (line.front() == '@') {
    size_t i = 1;
    int64_t ms = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
      if (ms > (INT64_MAX - 9) / 10) return fail("time after '@' is too large");
      ms = ms * 10 + (line[i] - '0');
      ++i;
    }
    if (i == 1) return fail("'@' must be followed by milliseconds");
    if (i >= line.size() || line[i] != ' ') {
      return fail("time after '@' must be followed by one blank and the record");
    }
    at_ms = ms;
    line.remove_prefix(i + 1);
  }
  if (line.empty()) return fail("missing record after the time");
  const char kind = line.front();
  if (kind != 'd' && kind != 'x') {
    return fail(format_text("record must begin with 'd ' or 'x ', not '%c'", kind));
  }
  if (line.size() > 1 && line[1] != ' ') {
    return fail(format_text("'%c' must be followed by one blank", kind));
  }
  if (kind == 'x') return parse_hex(line.size() > 1 ? line.substr(2) : std::string_view{}, at_ms);
  if (line.size() == 1)
    return fail("'d' needs a blank and the datagram's text (use 'x' alone for an empty datagram)");
  const std::string_view text = line.substr(2);
  if (text.size() > MAX_DATAGRAM) {
    return fail(format_text("datagram of %zu bytes is over %zu bytes", text.size(), MAX_DATAGRAM));
  }
  return LineResult{DatagramRecord{std::string(text), at_ms}, {}};
}

bool parse_datagram_text(std::string_view text, std::string_view name,
                         std::vector<DatagramRecord>& records, std::string& error) {
  size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    LineResult result = parse_datagram_line(line);
    if (!result.error.empty()) {
      error = format_text("%.*s:%zu: %s", static_cast<int>(name.size()), name.data(), line_number,
                          result.error.c_str());
      return false;
    }
    if (result.record) records.push_back(std::move(*result.record));
  }
  return true;
}

bool read_datagram_file(const std::string& path, std::vector<DatagramRecord>& records,
                        std::string& error) {
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return parse_datagram_text(text, "<stdin>", records, error);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = format_text("%s: cannot open: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    error = format_text("%s: read error", path.c_str());
    return false;
  }
  return parse_datagram_text(content.str(), path, records, error);
}

std::string format_datagram_line(std::string_view bytes, std::optional<int64_t> at_ms) {
  std::string line;
  if (at_ms) line = format_text("@%lld ", static_cast<long long>(*at_ms));
  // Text goes out as 'd' only when an editor cannot change it unseen:
  // control characters and a trailing blank force the hex form.
  bool plain = !bytes.empty() && bytes.back() != ' ';
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) plain = false;
  }
  if (plain) {
    line += "d ";
    line += bytes;
  } else {
    static constexpr char DIGITS[] = "0123456789abcdef";
    line += 'x';
    for (const char c : bytes) {
      const auto u = static_cast<unsigned char>(c);
      line += ' ';
      line += DIGITS[u >> 4];
      line += DIGITS[u & 0x0F];
    }
  }
  line += '\n';
  return line;
}

}  // namespace sim
