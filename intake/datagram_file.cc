// Datagram files: reading records line by line and writing record lines.
#include "intake/datagram_file.h"

#include <cinttypes>
#include <cstdarg>
#include <utility>

namespace {

[[gnu::format(printf, 2, 3)]] LineKind malformed(std::string& error, const char* format, ...) {
  std::array<char, 160> text{};
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  va_end(arguments);
  error = text.data();
  return LineKind::MALFORMED;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

LineKind parse_hex(std::string_view hex, DatagramRecord& record, std::string& error) {
  std::size_t i = 0;
  while (i < hex.size()) {
    if (is_blank(hex[i])) {
      ++i;
      continue;
    }
    const int high = hex_value(hex[i]);
    const int low = i + 1 < hex.size() ? hex_value(hex[i + 1]) : -1;
    if (high < 0 || low < 0)
      return malformed(error, "bad hex digit pair at column %zu of the 'x' record", i + 1);
    if (record.length == MAX_DATAGRAM)
      return malformed(error, "datagram is over %zu bytes", MAX_DATAGRAM);
    record.bytes[record.length++] = static_cast<char>(high * 16 + low);
    i += 2;
  }
  return LineKind::RECORD;
}

// Appends to a line that has room: the callers' longest line is bounded.
class LineWriter {
 public:
  explicit LineWriter(RecordLine& line) : line_(line) {}
  void put(char c) {
    if (line_.length < line_.text.size()) line_.text[line_.length++] = c;
  }
  void put(std::string_view text) {
    for (const char c : text) put(c);
  }

 private:
  RecordLine& line_;
};

}  // namespace

LineKind parse_datagram_line(std::string_view line, DatagramRecord& record, std::string& error) {
  record.length = 0;
  record.at_ms.reset();
  if (line.empty() || line.front() == '#') return LineKind::NOTHING;
  if (line.front() == '@') {
    std::size_t i = 1;
    std::int64_t ms = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
      const int digit = line[i] - '0';
      if (ms > (INT64_MAX - digit) / 10) return malformed(error, "time after '@' is too large");
      ms = ms * 10 + digit;
      ++i;
    }
    if (i == 1) return malformed(error, "'@' must be followed by milliseconds");
    if (i >= line.size() || line[i] != ' ')
      return malformed(error, "time after '@' must be followed by one blank and the record");
    record.at_ms = ms;
    line.remove_prefix(i + 1);
  }
  if (line.empty()) return malformed(error, "missing record after the time");
  const char kind = line.front();
  if (kind != 'd' && kind != 'x')
    return malformed(error, "record must begin with 'd ' or 'x ', not '%c'", kind);
  if (line.size() > 1 && line[1] != ' ')
    return malformed(error, "'%c' must be followed by one blank", kind);
  if (kind == 'x')
    return parse_hex(line.size() > 1 ? line.substr(2) : std::string_view{}, record, error);
  if (line.size() == 1)
    return malformed(error,
                     "'d' needs a blank and the datagram's text (use 'x' alone for an empty "
                     "datagram)");
  const std::string_view text = line.substr(2);
  if (text.size() > MAX_DATAGRAM)
    return malformed(error, "datagram of %zu bytes is over %zu bytes", text.size(), MAX_DATAGRAM);
  text.copy(record.bytes.data(), text.size());
  record.length = text.size();
  return LineKind::RECORD;
}

DatagramFileReader::DatagramFileReader(std::FILE* in, std::string name)
    : in_(in), name_(std::move(name)) {}

bool DatagramFileReader::read_line(std::string_view& line) {
  std::size_t length = 0;
  int c = 0;
  // Byte by byte rather than fgets: a 'd' record may hold a zero byte.
  while ((c = std::getc(in_)) != EOF && c != '\n') {
    if (length == line_.size()) {
      ++line_number_;
      error_ = name_ + ":" + std::to_string(line_number_) + ": line is longer than " +
               std::to_string(MAX_RECORD_LINE) + " characters";
      return false;
    }
    line_[length++] = static_cast<char>(c);
  }
  if (std::ferror(in_)) {
    error_ = name_ + ": read error";
    return false;
  }
  if (c == EOF && length == 0) return false;
  ++line_number_;
  line = std::string_view(line_.data(), length);
  return true;
}

bool DatagramFileReader::next(DatagramRecord& record) {
  std::string_view line;
  while (error_.empty() && read_line(line)) {
    std::string what;
    switch (parse_datagram_line(line, record, what)) {
      case LineKind::RECORD:
        return true;
      case LineKind::NOTHING:
        break;
      case LineKind::MALFORMED:
        error_ = name_ + ":" + std::to_string(line_number_) + ": " + what;
        return false;
    }
  }
  return false;
}

RecordLine format_datagram_line(std::string_view bytes, std::optional<std::int64_t> at_ms) {
  RecordLine line;
  LineWriter out(line);
  if (bytes.size() > MAX_DATAGRAM) bytes = bytes.substr(0, MAX_DATAGRAM);
  if (at_ms) {
    std::array<char, 24> time{};
    std::snprintf(time.data(), time.size(), "@%" PRId64 " ", *at_ms);
    out.put(time.data());
  }
  // Text goes out as 'd' only when an editor cannot change it unseen:
  // control characters and a trailing blank force the hex form.
  bool plain = !bytes.empty() && bytes.back() != ' ';
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) plain = false;
  }
  if (plain) {
    out.put("d ");
    out.put(bytes);
  } else {
    static constexpr char DIGITS[] = "0123456789abcdef";
    out.put('x');
    for (const char c : bytes) {
      const auto u = static_cast<unsigned char>(c);
      out.put(' ');
      out.put(DIGITS[u >> 4]);
      out.put(DIGITS[u & 0x0F]);
    }
  }
  out.put('\n');
  return line;
}

RecordLine format_recording_header(std::uint32_t address, std::uint16_t port, int node_port) {
  RecordLine line;
  const int length =
      std::snprintf(line.text.data(), line.text.size(), "# recorded from %u.%u.%u.%u:%u, port %d\n",
                    address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF,
                    port, node_port);
  line.length = static_cast<std::size_t>(length);
  return line;
}
