// A strict JSON check (RFC 8259, UTF-8) for what pellarin-kiss sends:
// tests and the fuzzer hold every report to it.
#pragma once

#include <string_view>

// Whether `text` is exactly one JSON object, with nothing but white space
// around it.
bool is_strict_json_object(std::string_view text);
