// Trace preambles: colour table, time stamp and raw echo.
#include "output/preamble.h"

#include <array>
#include <cstdint>
#include <ctime>

#include "app/settings.h"
#include "dates/date_lines.h"
#include "intake/field.h"
#include "intake/numbers.h"
#include "output/channels.h"
#include "output/printable.h"

namespace {

constexpr const char* RESET = "\033[0m";

// Rows: isRF begins with 't', with 'f', anything else.
// Columns: dirn begins with 'r', with 's', anything else.
constexpr std::array<std::array<const char*, 3>, 3> TRACE_COLOURS = {{
    {"\033[92m", "\033[91m", "\033[93m"},
    {"\033[38;2;50;255;150m", "\033[38;2;255;150;150m", "\033[94m"},
    {RESET, RESET, RESET},
}};

constexpr int TIME_LENGTH = 20;

constexpr char CLASSIC_MARKER[] = " *** ";

// 64-bit seconds, so that reports after January 2038 show their real time.
std::int64_t trace_time(const char* report) {
  Field<TIME_LENGTH> value;
  return value.read(report, "time") ? read_int64(value.text()) : std::time(nullptr);
}

void print_time(std::int64_t seconds, TraceText& text) {
  std::tm broken_down{};
  const auto when = static_cast<std::time_t>(seconds);
  if (seconds < 0 || gmtime_r(&when, &broken_down) == nullptr) {
    text.add("??:??:?? ");
    return;
  }
  text.add("%02d:%02d:%02d ", broken_down.tm_hour, broken_down.tm_min, broken_down.tm_sec);
}

}  // namespace

void print_colour(const char* escape) {
  if (trace_flag(TF_COLOUR_TO_FILE))
    out_print("%s", escape);
  else
    con_print("%s", escape);
}

void set_trace_colour(std::string_view dirn, std::string_view is_rf) {
  const char port_kind = is_rf.empty() ? '\0' : is_rf[0];
  const char direction = dirn.empty() ? '\0' : dirn[0];
  const std::size_t row = port_kind == 't' ? 0 : port_kind == 'f' ? 1 : 2;
  const std::size_t column = direction == 'r' ? 0 : direction == 's' ? 1 : 2;
  print_colour(TRACE_COLOURS[row][column]);
}

void print_timestamp(const char* report, TraceText& text) {
  print_time(trace_time(report), text);
}

void print_report_echo(const char* report, TraceText& text) {
  std::array<char, OUT_BUFFER_SIZE> echo;
  make_printable(report, echo);
  text.add("%s\n", echo.data());
}

// The date line, when one is due, heads the trace, ahead of its echo and
// separator; it follows the stamp's time, so an unstamped trace dates nothing.
void print_preamble_text(const char* report, TraceText& text, bool classic) {
  const bool stamped = trace_flag(TF_TIMESTAMP) || classic;
  const std::int64_t seconds = stamped ? trace_time(report) : 0;
  if (stamped) date_trace(seconds, text);
  if (trace_flag(TF_RAW_JSON)) print_report_echo(report, text);
  if (trace_flag(TF_BLANK_LINE) || classic) text.add("\n");
  if (classic) text.add("%s", CLASSIC_MARKER);
  if (stamped) print_time(seconds, text);
}
