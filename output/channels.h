// The two output channels: console only, and trace (capture file and console).
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string_view>

// The longest text that one out_print writes; a longer one is cut. The
// longest single print is a raw report (under 1500 characters from the
// receive loop) or one field of at most 2047 characters with a short label.
inline constexpr std::size_t OUT_BUFFER_SIZE = 4096;

#include "output/print_format.h"

// A newline and four spaces: how decoders begin a continuation line.
inline constexpr char CONTINUATION[] = "\n    ";

// The column after wrap_line's indent of eight.
inline constexpr int WRAP_INDENT = 8;

// Console text that is not part of the trace: banner, usage, warnings and,
// normally, colour escapes. Never reaches the capture file; ignores -q.
int con_print(const char* format, ...) PRINTF_FORMAT(1, 2);

// Trace text: to the capture file (flushed at once) when one is open, and to
// the console unless quiet. Returns the length of the formatted text. When
// writing to the capture file starts or stops failing, the console says so.
int out_print(const char* format, ...) PRINTF_FORMAT(1, 2);

// The text of one trace, gathered piece by piece by its formatter and the
// decoders it calls, and printed with one out_print when the trace is
// complete (when the TraceText goes out of scope, so no return path loses a
// piece). The capture file thus receives each trace in one flushed write:
// a write costs far more than formatting a piece, and a trace of twenty
// labels and values written piece by piece cost twenty of them. A trace
// longer than one print can hold goes out in as many prints as it needs.
class TraceText {
 public:
  TraceText() = default;
  TraceText(const TraceText&) = delete;
  TraceText& operator=(const TraceText&) = delete;
  ~TraceText() { print(); }

  // Formats a piece onto the end. Returns its length, and cuts it, as
  // out_print would have: a piece that does not fit after what is gathered
  // is preceded by a print of that.
  int add(const char* format, ...) PRINTF_FORMAT(2, 3);

 private:
  // out_print of what is gathered, if anything; then empty again.
  void print();

  std::array<char, OUT_BUFFER_SIZE> text_;  // terminated at length_ once written to
  std::size_t length_ = 0;
};

inline constexpr char CAPTURE_OPEN_FAILURE[] = "Can't open capture file '%s'\n";

// A file that could not be opened: `message` (one %s, the path) on the
// console, then "path: reason" on standard error, as perror words it.
void print_open_failure(const char* message, const char* path, int reason);

// Opens the capture file, truncated or appended to; nullptr on failure.
std::FILE* open_capture_stream(const char* path, bool overwrite);

// Starts a continuation line indented by eight columns; returns 8.
int wrap_line(TraceText& text);

// The console stream, standard output unless a test replaces it.
std::FILE* console_stream();
void set_console_stream(std::FILE* stream);

// True when the conversions of a printf format take, in order, the kinds of
// argument named in `kinds`: 's' for a text, 'd' for an int ("%%" takes
// none). Any other conversion does not match.
consteval bool format_takes(std::string_view format, std::string_view kinds) {
  std::size_t kind = 0;
  for (std::size_t at = 0; at < format.size(); ++at) {
    if (format[at] != '%') continue;
    ++at;
    if (at < format.size() && format[at] == '%') continue;
    while (at < format.size() &&
           std::string_view("-+ #0123456789.").find(format[at]) != std::string_view::npos)
      ++at;
    if (at == format.size()) return false;
    const char conversion = format[at] == 'i' ? 'd' : format[at];
    if (kind == kinds.size() || kinds[kind] != conversion) return false;
    ++kind;
  }
  return kind == kinds.size();
}

// A format kept in a formatter's table. The compiler checks a printf only
// when its format is written in the call, so each row checks its own format
// against the arguments that its printing gives it, and a row with the
// wrong conversions fails to build.
class TableFormat {
 public:
  consteval TableFormat(const char* text, std::string_view kinds) : text_(text) {
    // A throw cannot be evaluated at compile time: it makes the build fail.
    if (!format_takes(text, kinds)) throw "format does not take its row's arguments";
  }
  constexpr const char* text() const { return text_; }

 private:
  const char* text_;
};
