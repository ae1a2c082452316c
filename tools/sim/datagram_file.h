// Datagram files: the plain-text format in which pellarin-sim replays,
// records and generates trace datagrams (docs/datagram-file.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The largest datagram the node's trace service sends, and so the largest
// record a datagram file may hold.
inline constexpr size_t MAX_DATAGRAM = 1500;

struct DatagramRecord {
  std::string bytes;
  // Arrival time in milliseconds from the start of the recording, when the
  // line carries one.
  std::optional<int64_t> at_ms;
};

// Outcome of reading one line: a record, nothing (blank or comment line),
// or an error text without the file and line prefix.
struct LineResult {
  std::optional<DatagramRecord> record;
  std::string error;
};

// Parses one line, without its line feed.
LineResult parse_datagram_line(std::string_view line);

// Parses a whole file's text. On a fault, returns false with `error` set to
// "NAME:LINE: what is wrong"; `records` then holds the records before it.
bool parse_datagram_text(std::string_view text, std::string_view name,
                         std::vector<DatagramRecord>& records, std::string& error);

// Reads the file at `path`, or standard input for "-".
bool read_datagram_file(const std::string& path, std::vector<DatagramRecord>& records,
                        std::string& error);

// One record line with its line feed, in the form the readers take back
// byte for byte: 'd' for plain text, 'x' otherwise.
std::string format_datagram_line(std::string_view bytes, std::optional<int64_t> at_ms);

}  // namespace sim
