// Terminal-safe text: C0, DEL and C1 controls from the network become '.'.
#include "output/printable.h"

namespace {

constexpr char HIDDEN = '.';

constexpr bool in_range(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

constexpr bool is_c0_or_del(unsigned char byte) {
  return byte < 0x20 || byte == 0x7F;
}

constexpr bool is_continuation(unsigned char byte) {
  return in_range(byte, 0x80, 0xBF);
}

// The length of the well-formed UTF-8 sequence that begins at `at`, or 0
// when none does. The second byte's range depends on the first, which rules
// out overlong forms, surrogates and code points above U+10FFFF.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const std::size_t left = text.size() - at;
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  if (in_range(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (in_range(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (in_range(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return 0;
  }
  if (left < length || !in_range(byte(1), second_low, second_high)) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!is_continuation(byte(i))) return 0;
  return length;
}

// U+0080 to U+009F, the C1 controls, in their two-byte UTF-8 form.
bool is_utf8_c1(std::string_view sequence) {
  return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
         in_range(static_cast<unsigned char>(sequence[1]), 0x80, 0x9F);
}

}  // namespace

std::size_t make_printable(std::string_view received, std::span<char> shown) {
  if (shown.empty()) return 0;
  const std::size_t room = shown.size() - 1;
  std::size_t written = 0;
  std::size_t at = 0;
  while (at < received.size() && written < room) {
    const auto byte = static_cast<unsigned char>(received[at]);
    const std::size_t sequence = byte >= 0x80 ? utf8_sequence_length(received, at) : 0;
    if (sequence > 0) {
      const std::string_view bytes = received.substr(at, sequence);
      at += sequence;
      if (is_utf8_c1(bytes)) {
        shown[written++] = HIDDEN;
        continue;
      }
      if (room - written < sequence) break;
      for (const char c : bytes) shown[written++] = c;
      continue;
    }
    // A byte outside any well-formed sequence: a C1 control in its 8-bit
    // form is hidden, a Latin-1 letter or other byte from 0xA0 up stays.
    shown[written++] = is_c0_or_del(byte) || in_range(byte, 0x80, 0x9F) ? HIDDEN : received[at];
    ++at;
  }
  shown[written] = '\0';
  return written;
}
