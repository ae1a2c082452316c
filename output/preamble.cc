// Trace preambles: colour table, time stamp and raw echo.
#include "output/preamble.h"

#include <array>
#include <cstdint>
#include <ctime>

#include "app/settings.h"
#include "intake/field_lookup.h"
#include "intake/numbers.h"
#include "intake/splitter.h"
#include "output/channels.h"

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

}  // namespace

void print_colour(const char* escape) {
  if (trace_flag(TF_COLOUR_TO_FILE))
    out_print("%s", escape);
  else
    con_print("%s", escape);
}

void set_trace_colour(const char* dirn, const char* is_rf) {
  const std::size_t row = is_rf[0] == 't' ? 0 : is_rf[0] == 'f' ? 1 : 2;
  const std::size_t column = dirn[0] == 'r' ? 0 : dirn[0] == 's' ? 1 : 2;
  print_colour(TRACE_COLOURS[row][column]);
}

void print_timestamp(const char* report) {
  char value[TIME_LENGTH + 1];
  // 64-bit seconds, so that reports after January 2038 show their real time.
  const std::int64_t seconds =
      get_field(report, "time", value, TIME_LENGTH) ? read_int64(value) : std::time(nullptr);
  std::tm broken_down{};
  const auto when = static_cast<std::time_t>(seconds);
  if (seconds < 0 || gmtime_r(&when, &broken_down) == nullptr) {
    out_print("??:??:?? ");
    return;
  }
  out_print("%02d:%02d:%02d ", broken_down.tm_hour, broken_down.tm_min, broken_down.tm_sec);
}

void print_report_echo(const char* report) {
  std::array<char, OBJECT_BUFFER_SIZE> echo;
  std::size_t length = 0;
  for (; report[length] != '\0' && length < echo.size() - 1; ++length)
    echo[length] = is_control_byte(report[length]) ? '.' : report[length];
  echo[length] = '\0';
  out_print("%s\n", echo.data());
}

void print_preamble_text(const char* report, bool classic) {
  if (trace_flag(TF_RAW_JSON)) print_report_echo(report);
  if (trace_flag(TF_BLANK_LINE) || classic) out_print("\n");
  if (classic) out_print("%s", CLASSIC_MARKER);
  if (trace_flag(TF_TIMESTAMP) || classic) print_timestamp(report);
}
