// What of a network value may reach the terminal: the one rule by which
// every value and the raw report echo are shown.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// Copies `received` into `shown` with every byte that a terminal would act
// on replaced: C0 controls (0x00-0x1F) and DEL as one '.' each, a C1 control
// written in UTF-8 (C2 80 to C2 9F) as one '.', and a byte 0x80-0x9F that is
// not part of a well-formed UTF-8 sequence (the 8-bit CSI 0x9B among them)
// as one '.'. UTF-8 text, Latin-1 letters and every other byte stay as
// received. Writes at most shown.size() - 1 bytes and a terminator, never
// splitting a kept UTF-8 sequence; returns the number of bytes written.
std::size_t make_printable(std::string_view received, std::span<char> shown);
