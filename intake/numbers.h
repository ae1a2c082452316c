// atoi-style reading of numbers from report text, without overflow.
#pragma once

#include <cstdint>
#include <string_view>

// Leading white space, an optional sign and decimal digits, stopping at the
// first other character; no digits give 0. Values beyond the type's range
// are held at its nearest limit instead of overflowing.
std::int64_t read_int64(std::string_view text);
int read_int(std::string_view text);
