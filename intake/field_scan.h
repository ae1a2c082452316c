// Several values of a report found in one pass: what a reader that needs a
// dozen keys of every report uses instead of a dozen searches.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "intake/field_lookup.h"
#include "intake/text_words.h"

// A key looked for, with the most characters of its value kept (as Field's
// limit). Keys are matched as find_value matches them, ASCII letters
// without case, unless `exact`: then byte for byte, for a key whose name
// may also stand as a value in another case ("nodes" beside "NODES").
// A `stop` key is no value: met before the other keys are all settled, it
// ends the scan, so that a reader of a report's own fields does not go on
// through an array that it reads entry by entry itself.
struct ScanKey {
  std::string_view name;
  int limit = 15;
  bool exact = false;
  bool stop = false;
};

inline constexpr std::size_t MAX_SCAN_KEYS = 32;

// What the scan itself needs of a key set.
struct ScanTables {
  std::span<const ScanKey> keys;
  const std::array<std::uint32_t, 256>& by_first;  // the keys that begin with each byte
  std::uint32_t stops;  // the stop keys, a bit each
  // A key of up to seven bytes with its closing quote as one word (letters
  // in lower case unless exact), and the mask of its bytes; zero masks for
  // a longer key, which is compared byte by byte.
  std::span<const std::uint64_t> patterns;
  std::span<const std::uint64_t> masks;
};

// The keys of one kind of scan: a constant made once per reader.
template <std::size_t N>
class ScanKeys {
  static_assert(N > 0 && N <= MAX_SCAN_KEYS);

 public:
  consteval explicit ScanKeys(const std::array<ScanKey, N>& keys) : keys_(keys) {
    for (std::size_t i = 0; i < N; ++i) {
      const std::string_view name = keys[i].name;
      // A quote in a key, an empty key or one longer than a search can
      // find would need find_value's special cases.
      if (name.empty() || name.size() > MAX_KEY_LENGTH || name.find('"') != std::string_view::npos)
        throw "a key the scan cannot look for";
      const auto first = static_cast<unsigned char>(name[0]);
      by_first_[first] |= 1U << i;
      if (keys[i].stop) stops_ |= 1U << i;
      if (!keys[i].exact && first >= 'A' && first <= 'Z') by_first_[first + 32U] |= 1U << i;
      if (!keys[i].exact && first >= 'a' && first <= 'z') by_first_[first - 32U] |= 1U << i;
      if (name.size() < 8) {
        for (std::size_t at = 0; at <= name.size(); ++at) {
          const char c = at < name.size() ? name[at] : '"';
          const auto byte = static_cast<unsigned char>(keys[i].exact ? c : fold_letter(c));
          patterns_[i] |= std::uint64_t{byte} << (8 * at);
          masks_[i] |= std::uint64_t{0xFF} << (8 * at);
        }
      }
    }
  }

  static constexpr std::size_t size() { return N; }
  const ScanKey& operator[](std::size_t i) const { return keys_[i]; }
  ScanTables tables() const {
    return {keys_, by_first_, stops_, patterns_, masks_};
  }

 private:
  std::array<ScanKey, N> keys_;
  std::array<std::uint32_t, 256> by_first_{};
  std::uint32_t stops_ = 0;
  std::array<std::uint64_t, N> patterns_{};
  std::array<std::uint64_t, N> masks_{};
};

// Where each key's value begins in `text` (which holds no NUL), as
// find_value would find it: after the first occurrence of the quoted key,
// the next colon and white space. Returns the keys found, a bit each; the
// scan ends once every key but the stop keys is settled, or at a stop key.
std::uint32_t scan_fields(std::string_view text, const ScanTables& tables,
                          std::span<const char*> value_at);

// The value beginning at `at` as Field::read keeps it: a quoted value up to
// its first quote, a bare one up to the first byte that cannot be part of
// it, cut to `limit` characters, never past `end`.
std::string_view scanned_value(const char* at, const char* end, int limit);

// One scan's results.
template <std::size_t N>
class FieldScan {
 public:
  FieldScan(std::string_view text, const ScanKeys<N>& keys)
      : end_(text.data() + text.size()), keys_(keys), found_(scan_fields(text, keys.tables(), at_)) {}

  bool has(std::size_t key) const { return (found_ >> key & 1U) != 0; }
  // Where the value begins in the text; only for a key that has one.
  const char* value_at(std::size_t key) const { return at_[key]; }
  // The value as Field::read keeps it; empty for a key not found.
  std::string_view text(std::size_t key) const {
    return has(key) ? scanned_value(at_[key], end_, keys_[key].limit) : std::string_view();
  }

 private:
  const char* end_;
  const ScanKeys<N>& keys_;
  std::array<const char*, N> at_{};
  std::uint32_t found_;
};
