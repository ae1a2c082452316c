// The byte classes of the report searches, and text read eight bytes at a
// time for searches that test every byte of a word at once.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Only ASCII letters fold; every other byte, 0x80 upwards included, matches
// itself alone, whatever the locale.
constexpr char fold_letter(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

constexpr bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// What an unquoted value (a number, true, false) is made of.
constexpr bool is_bare_value_char(char c) {
  return c == '-' || c == '.' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9');
}

inline constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101;

// Eight bytes of text as one word, the first byte in the low bits.
inline std::uint64_t load_word(const char* at) {
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, at, sizeof word);
  } else {
    for (int i = 7; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(at[i]);
  }
  return word;
}

// The word with its bytes 'A' to 'Z' in lower case; every other byte, 0x80
// upwards included, stays as it is.
constexpr std::uint64_t fold_capitals(std::uint64_t word) {
  constexpr std::uint64_t TOP_BITS = EVERY_BYTE * 0x80;
  const std::uint64_t seven_bits = word & ~TOP_BITS;
  const std::uint64_t from_a = seven_bits + EVERY_BYTE * (0x80 - 'A');     // top bit: at least 'A'
  const std::uint64_t past_z = seven_bits + EVERY_BYTE * (0x80 - 'Z' - 1);  // top bit: above 'Z'
  const std::uint64_t capitals = from_a & ~past_z & ~word & TOP_BITS;
  return word | capitals >> 2;
}

// The top bit of each byte of the word that is zero, and of no other byte.
constexpr std::uint64_t zero_bytes(std::uint64_t word) {
  constexpr std::uint64_t LOW_SEVEN_BITS = 0x7F7F7F7F7F7F7F7F;
  return ~(((word & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | word | LOW_SEVEN_BITS);
}

// The byte of the word (0 to 7) that the lowest mark of zero_bytes stands for.
constexpr std::size_t first_marked_byte(std::uint64_t marks) {
  return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
}
