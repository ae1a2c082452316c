// Field lookup: a case-insensitive search for the quoted key, then the value.
#include "intake/field_lookup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "intake/text_words.h"

namespace {

// Whether the quoted key begins at this double quote, letters without case.
bool key_at(const char* quote, std::string_view folded_key) {
  const char* at = quote + 1;
  std::size_t i = 0;
  while (i < folded_key.size() && at[i] != '\0' && fold_letter(at[i]) == folded_key[i]) ++i;
  return i == folded_key.size() && at[i] == '"';
}

// The first occurrence of the key between double quotes, letters compared
// without case. An occurrence begins with a double quote followed by the
// key's first character, so eight bytes at a time the search marks the
// quotes that the right character follows and compares the key only there:
// the same first occurrence as comparing at every position, about twenty
// times per report without going through the text byte by byte each time.
const char* find_quoted_key(const char* text, std::string_view key) {
  std::array<char, MAX_KEY_LENGTH> folded;
  for (std::size_t i = 0; i < key.size(); ++i) folded[i] = fold_letter(key[i]);
  const std::string_view folded_key(folded.data(), key.size());
  // For a letter, OR-ing 0x20 into a byte gives the lower case of exactly
  // its two cases; any other first character is compared as it is.
  const char first = key.empty() ? '"' : folded[0];
  const bool first_is_letter = first >= 'a' && first <= 'z';
  const std::uint64_t case_bits = first_is_letter ? EVERY_BYTE * 0x20 : 0;
  const std::uint64_t quotes = EVERY_BYTE * static_cast<unsigned char>('"');
  const std::uint64_t firsts = EVERY_BYTE * static_cast<unsigned char>(first);
  const std::size_t length = std::strlen(text);
  std::size_t start = 0;
  // Each step reads the eight bytes at start and the eight after each of them.
  for (; start + sizeof(std::uint64_t) < length; start += sizeof(std::uint64_t)) {
    const std::uint64_t here = load_word(text + start);
    const std::uint64_t next = load_word(text + start + 1);
    std::uint64_t candidates = zero_bytes(here ^ quotes) & zero_bytes((next | case_bits) ^ firsts);
    while (candidates != 0) {
      const std::size_t byte = first_marked_byte(candidates);
      if (key_at(text + start + byte, folded_key)) return text + start + byte;
      candidates &= candidates - 1;
    }
  }
  for (; start < length; ++start)
    if (text[start] == '"' && key_at(text + start, folded_key)) return text + start;
  return nullptr;
}

}  // namespace

const char* find_value(const char* text, std::string_view key) {
  if (text == nullptr || key.size() > MAX_KEY_LENGTH) return nullptr;
  const char* at = find_quoted_key(text, key);
  if (at == nullptr) return nullptr;
  // The closing quote of the occurrence, which the match has seen: the end
  // of the key, or a quote within it.
  at += 1 + std::min(key.find('"'), key.size());
  // Whatever stands before the colon is passed over.
  while (*at != ':') {
    if (*at == '\0') return nullptr;
    ++at;
  }
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
