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

// Copies at most `limit` characters of the key's value, as received, and a
// terminator into `buffer`, never more than the buffer holds. Returns false,
// leaving the buffer untouched, when the key is absent. Formatters read
// through Field (intake/field.h), which also keeps the value as shown.
bool get_field(const char* text, std::string_view key, std::span<char> buffer, int limit);

// The comparison of the user's filters with values: ASCII letters without
// case, every other byte only itself.
bool equal_ignoring_case(std::string_view a, std::string_view b);
