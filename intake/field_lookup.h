// Loose lookup of a named value in a report's text, without parsing the JSON.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// The search text is the key in double quotes, formatted into 80 characters:
// a longer key can never be found.
inline constexpr std::size_t MAX_KEY_LENGTH = 77;

// Where the value of the first occurrence of "key" (case of letters ignored)
// begins, after its colon and any white space; nullptr when absent.
const char* find_value(const char* text, std::string_view key);

// Copies at most `limit` characters of the key's value and a terminator into
// `buffer`, never more than the buffer holds. Returns false, leaving the
// buffer untouched, when the key is absent. Control bytes in the value are
// copied as '.', so nothing from the network can drive the terminal.
bool get_field(const char* text, std::string_view key, std::span<char> buffer, int limit);

// True for the bytes that must never reach the terminal raw: 0x00-0x1F, 0x7F.
constexpr bool is_control_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}
