// The L2 trace line: one AX.25 frame that the node sent or received.
#pragma once

void trace_l2(const char* report);

// The console warning of a frame trace dropped for a missing mandatory
// field; the L3 trace line gives the same.
inline constexpr char MANDATORY_FIELD_MISSING[] = "[Mandatory field missing]\n";

// The user's call filters (-f, -t, -a, -b), compared without case; the L3
// trace line applies them to its NET/ROM source and destination.
bool passes_call_filters(const char* source, const char* destination);

// The end of a header line: the port kind, the direction and ":\n  ".
void print_header_line_tail(const char* is_rf, const char* dirn);

// The direction's first letter in upper case, or a space when there is none.
char direction_letter(const char* dirn);
