// Saturating atoi for the values that the client compares or converts.
#include "intake/numbers.h"

#include <limits>

std::int64_t read_int64(const char* text) {
  constexpr std::int64_t MAX = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t MIN = std::numeric_limits<std::int64_t>::min();
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  std::int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const int digit = *text - '0';
    // Accumulate towards the sign so that the most negative value fits.
    if (negative) {
      if (value < (MIN + digit) / 10) return MIN;
      value = value * 10 - digit;
    } else {
      if (value > (MAX - digit) / 10) return MAX;
      value = value * 10 + digit;
    }
  }
  return value;
}

int read_int(const char* text) {
  const std::int64_t value = read_int64(text);
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}
