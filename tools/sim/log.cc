// Event log of pellarin-sim and pellarin-kiss: one line per event on
// stderr, flushed at once.
#include "sim/log.h"

#include <cstdarg>
#include <cstdio>

namespace sim {

namespace {

const char* log_name = "pellarin-sim";

std::string vformat_text(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

void set_log_name(const char* name) {
  log_name = name;
}

void log_line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = vformat_text(format, args);
  va_end(args);
  // One fputs per line keeps lines whole even when stderr is unbuffered.
  const std::string line = std::string(log_name) + ": " + text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

std::string format_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat_text(format, args);
  va_end(args);
  return text;
}

}  // namespace sim
