// Saturating atoi for the values that the client compares or converts.
#include "intake/numbers.h"

#include <limits>

namespace {

constexpr bool is_c_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::int64_t read_int64(std::string_view text) {
  constexpr std::int64_t MAX = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t MIN = std::numeric_limits<std::int64_t>::min();
  std::size_t at = 0;
  while (at < text.size() && is_c_space(text[at])) ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::int64_t value = 0;
  for (; at < text.size() && is_digit(text[at]); ++at) {
    const int digit = text[at] - '0';
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

int read_int(std::string_view text) {
  const std::int64_t value = read_int64(text);
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}
