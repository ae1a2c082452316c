// Field lookup: a case-insensitive search for the quoted key, then the value.
#include "intake/field_lookup.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Only ASCII letters fold; every other byte, 0x80 upwards included, matches
// itself alone, whatever the locale.
constexpr char fold_letter(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

const char* find_ignoring_case(const char* text, std::string_view needle) {
  for (const char* start = text; *start != '\0'; ++start) {
    std::size_t i = 0;
    while (i < needle.size() && start[i] != '\0' && fold_letter(start[i]) == fold_letter(needle[i]))
      ++i;
    if (i == needle.size()) return start;
  }
  return nullptr;
}

constexpr bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool is_bare_value_char(char c) {
  return c == '-' || c == '.' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9');
}

}  // namespace

const char* find_value(const char* text, std::string_view key) {
  if (text == nullptr || key.size() > MAX_KEY_LENGTH) return nullptr;
  std::array<char, MAX_KEY_LENGTH + 3> search{};
  search[0] = '"';
  std::memcpy(&search[1], key.data(), key.size());
  search[key.size() + 1] = '"';
  const char* at = find_ignoring_case(text, std::string_view(search.data(), key.size() + 2));
  if (at == nullptr) return nullptr;
  at = std::strchr(at + 1, '"');  // the closing quote of the occurrence
  if (at == nullptr) return nullptr;
  at = std::strchr(at, ':');  // whatever stands before the colon is passed over
  if (at == nullptr) return nullptr;
  ++at;
  while (is_json_space(*at)) ++at;
  return at;
}

bool get_field(const char* text, std::string_view key, std::span<char> buffer, int limit) {
  const char* value = find_value(text, key);
  if (value == nullptr || buffer.empty()) return value != nullptr;
  const int room = static_cast<int>(std::min<std::size_t>(buffer.size() - 1, 1U << 30));
  if (limit > room) limit = room;
  // Escapes are not decoded: a quoted value ends at its first quote.
  const bool quoted = *value == '"';
  if (quoted) ++value;
  int copied = 0;
  for (; *value != '\0' && copied < limit; ++value) {
    if (quoted ? *value == '"' : !is_bare_value_char(*value)) break;
    buffer[copied++] = *value;
  }
  buffer[copied] = '\0';
  return true;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold_letter(a[i]) != fold_letter(b[i])) return false;
  return true;
}
