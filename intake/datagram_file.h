// Datagram files: one trace datagram a line, as text or hex, with its
// arrival time when it was recorded (docs/datagram-file.md).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "intake/datagram.h"

// The longest line a reader takes. The longest line a writer makes, a
// 1500-byte datagram in hex with a time, has about 4,530 characters; the
// rest leaves room for blanks added by hand between hex pairs.
inline constexpr std::size_t MAX_RECORD_LINE = 8192;

struct DatagramRecord {
  // One byte more than the largest datagram: the splitter writes its
  // terminator after the last byte.
  std::array<char, MAX_DATAGRAM + 1> bytes{};
  std::size_t length = 0;
  // Milliseconds from the start of the recording, when the line has one.
  std::optional<std::int64_t> at_ms;

  std::string_view view() const { return {bytes.data(), length}; }
};

enum class LineKind { RECORD, NOTHING, MALFORMED };

// Reads one line, without its line feed, into `record`. NOTHING for an
// empty or comment line; MALFORMED with `error` saying what is wrong.
LineKind parse_datagram_line(std::string_view line, DatagramRecord& record, std::string& error);

// Reads a datagram file one record at a time, so that a file of any length
// is read in the same memory.
class DatagramFileReader {
 public:
  // `name` begins every error message; `in` stays the caller's.
  DatagramFileReader(std::FILE* in, std::string name);

  // True with the next record; false at the end of the file, and also at a
  // fault, when error() holds "NAME:LINE: what is wrong".
  bool next(DatagramRecord& record);
  const std::string& error() const { return error_; }

 private:
  // False at the end of the file; a line too long or a read error sets error_.
  bool read_line(std::string_view& line);

  std::FILE* in_;
  std::string name_;
  std::size_t line_number_ = 0;
  std::string error_;
  std::array<char, MAX_RECORD_LINE> line_{};
};

// A line as the writers make it, line feed included.
struct RecordLine {
  std::array<char, MAX_RECORD_LINE> text{};
  std::size_t length = 0;

  std::string_view view() const { return {text.data(), length}; }
};

// The record line of a datagram of at most MAX_DATAGRAM bytes (what is
// beyond is not written), in the form the reader takes back byte for
// byte: 'd' for plain text, 'x' otherwise.
RecordLine format_datagram_line(std::string_view bytes, std::optional<std::int64_t> at_ms);

// The comment line that opens a recording: the node's address and port,
// host order, and the node port subscribed to.
RecordLine format_recording_header(std::uint32_t address, std::uint16_t port, int node_port);
