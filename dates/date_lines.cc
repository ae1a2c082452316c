// The one piece of state that spans traces for dating them: the UTC day of
// the last date line.
#include "dates/date_lines.h"

#include <ctime>
#include <optional>

#include "app/settings.h"

namespace {

constexpr std::int64_t SECONDS_PER_DAY = 86400;

// Days since the epoch of the last date line; empty before the first.
std::optional<std::int64_t> dated_day;

// A stamp before the epoch has no date: the stamp shows "??:??:??" then,
// and nothing is dated.
void print_if_new_day(std::int64_t seconds, TraceText* text) {
  if (!settings.dates || seconds < 0) return;
  const std::int64_t day = seconds / SECONDS_PER_DAY;
  if (dated_day == day) return;
  std::tm date{};
  const auto when = static_cast<std::time_t>(seconds);
  if (gmtime_r(&when, &date) == nullptr) return;
  dated_day = day;
  // Set off by blank lines as the traces are, so that it reads as a heading.
  const char* separator = trace_flag(TF_BLANK_LINE) ? "\n" : "";
  constexpr char DATE_LINE[] = "%s--- %04lld-%02d-%02d (UTC) ---\n";
  // Widened first: a stamp far in the future has a year whose tm_year fits
  // an int but the year itself does not.
  const long long year = static_cast<long long>(date.tm_year) + 1900;
  if (text != nullptr)
    text->add(DATE_LINE, separator, year, date.tm_mon + 1, date.tm_mday);
  else
    out_print(DATE_LINE, separator, year, date.tm_mon + 1, date.tm_mday);
}

}  // namespace

void date_trace(std::int64_t seconds, TraceText& text) {
  print_if_new_day(seconds, &text);
}

void print_start_date(std::int64_t now) {
  if (trace_flag(TF_TIMESTAMP) || trace_flag(TF_CLASSIC)) print_if_new_day(now, nullptr);
}

void forget_dates() {
  dated_day.reset();
}
