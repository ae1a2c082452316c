// The one-pass scan: every double quote of the text, in order, tested
// against the keys not yet found that its next byte can begin.
#include "intake/field_scan.h"

#include <bit>

#include "intake/text_words.h"

namespace {

// Whether the key's name and its closing quote follow the opening quote at
// `quote`, all before `end`.
bool name_at(const char* quote, const char* end, const ScanKey& key) {
  const char* at = quote + 1;
  if (static_cast<std::size_t>(end - at) <= key.name.size()) return false;
  for (const char c : key.name) {
    if (key.exact ? *at != c : fold_letter(*at) != fold_letter(c)) return false;
    ++at;
  }
  return *at == '"';
}

}  // namespace

std::uint32_t scan_fields(std::string_view text, const ScanTables& tables,
                          std::span<const char*> value_at) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const std::size_t count = tables.keys.size();
  std::uint32_t wanted = count == 32 ? ~0U : (1U << count) - 1;
  const auto settled = [&] { return (wanted & ~tables.stops) == 0; };
  std::uint32_t found = 0;
  // A key's first occurrence settles it: found when a colon follows (when
  // none does, none follows a later occurrence either).
  const auto test_quote = [&](const char* quote) {
    if (end - quote < 3) return;
    std::uint32_t candidates = tables.by_first[static_cast<unsigned char>(quote[1])] & wanted;
    if (candidates == 0) return;
    // The eight bytes after the quote, when the text holds them, settle a
    // short key in one comparison.
    const bool whole_word = end - quote > 8;
    const std::uint64_t raw = whole_word ? load_word(quote + 1) : 0;
    const std::uint64_t folded = fold_capitals(raw);
    while (candidates != 0) {
      const auto key = static_cast<std::size_t>(std::countr_zero(candidates));
      candidates &= candidates - 1;
      const std::uint64_t mask = tables.masks[key];
      const bool match =
          whole_word && mask != 0
              ? ((tables.keys[key].exact ? raw : folded) & mask) == tables.patterns[key]
              : name_at(quote, end, tables.keys[key]);
      if (!match) continue;
      if (tables.keys[key].stop) {
        wanted = 0;
        return;
      }
      wanted &= ~(1U << key);
      const char* at = quote + 2 + tables.keys[key].name.size();
      while (at < end && *at != ':') ++at;
      if (at == end) continue;
      ++at;
      while (at < end && is_json_space(*at)) ++at;
      value_at[key] = at;
      found |= 1U << key;
    }
  };
  constexpr std::uint64_t QUOTES = EVERY_BYTE * static_cast<unsigned char>('"');
  const std::size_t length = text.size();
  std::size_t start = 0;
  // Eight bytes at a time: the double quotes of each word, in order.
  for (; start + sizeof(std::uint64_t) <= length && !settled(); start += sizeof(std::uint64_t)) {
    for (std::uint64_t quotes = zero_bytes(load_word(begin + start) ^ QUOTES); quotes != 0;
         quotes &= quotes - 1)
      test_quote(begin + start + first_marked_byte(quotes));
  }
  for (; start < length && !settled(); ++start)
    if (begin[start] == '"') test_quote(begin + start);
  return found;
}

std::string_view scanned_value(const char* at, const char* end, int limit) {
  const bool quoted = at < end && *at == '"';
  if (quoted) ++at;
  const char* const start = at;
  const auto most = static_cast<std::size_t>(limit < 0 ? 0 : limit);
  // Escapes are not decoded: a quoted value ends at its first quote.
  while (at < end && static_cast<std::size_t>(at - start) < most &&
         (quoted ? *at != '"' : is_bare_value_char(*at)))
    ++at;
  return {start, static_cast<std::size_t>(at - start)};
}
