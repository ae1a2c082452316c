// What the L2 and L3 trace lines share: the user's call filters, the pieces
// of their header and the warning for a frame trace that is dropped.
#pragma once

#include <string_view>

#include "intake/field.h"
#include "output/channels.h"

// The console warning of a frame trace dropped for a missing mandatory field.
inline constexpr char MANDATORY_FIELD_MISSING[] = "[Mandatory field missing]\n";

// "dirn" and "isRF" are told apart by their first letter; four are kept.
inline constexpr int FLAG_LENGTH = 4;
using FlagField = Field<FLAG_LENGTH>;

// A filter of the user's that is set and differs, without case, from the
// value as received.
bool filter_rejects(const char* filter, std::string_view value);

// The user's call filters (-f, -t, -a, -b) against a frame's source and
// destination as received, compared without case.
bool passes_call_filters(std::string_view source, std::string_view destination);

// The end of a header line: the port kind, the direction and ":\n  ".
void print_header_line_tail(const FlagField& is_rf, const FlagField& dirn, TraceText& text);

// The direction's first letter as shown, in upper case; a space when there
// is no direction.
char direction_letter(const FlagField& dirn);
