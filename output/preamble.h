// What precedes a trace: colour, raw-report echo, separator and time stamp.
#pragma once

#include <string_view>

#include "output/channels.h"

// Frame-trace colour by the first letters of "isRF" and "dirn" as received.
void set_trace_colour(std::string_view dirn, std::string_view is_rf);

// The report's "time" (or the clock's, when absent) as UTC "hh:mm:ss ".
void print_timestamp(const char* report, TraceText& text);

// The raw report text and a newline, shown as every network value is
// (output/printable.h).
void print_report_echo(const char* report, TraceText& text);

// What follows the colour in every preamble, each under its switch: the raw
// echo, the separator line and the time stamp. The classic format of the
// L2 trace line forces the separator and the stamp and puts " *** "
// between them.
void print_preamble_text(const char* report, TraceText& text, bool classic = false);

// A colour escape: to the trace channel when colour goes to the capture
// file, otherwise to the console alone. Callers test TF_COLOUR themselves.
void print_colour(const char* escape);
