// What precedes a trace: colour, raw-report echo, separator and time stamp.
#pragma once

// Frame-trace colour by the first letters of "isRF" and "dirn".
void set_trace_colour(const char* dirn, const char* is_rf);

// The report's "time" (or the clock's, when absent) as UTC "hh:mm:ss ".
void print_timestamp(const char* report);

// The raw report text and a newline, control bytes shown as '.'.
void print_report_echo(const char* report);

// What follows the colour in every preamble, each under its switch: the raw
// echo, the separator line and the time stamp. The classic format of the
// L2 trace line forces the separator and the stamp and puts " *** "
// between them.
void print_preamble_text(const char* report, bool classic = false);

// A colour escape: to the trace channel when colour goes to the capture
// file, otherwise to the console alone. Callers test TF_COLOUR themselves.
void print_colour(const char* escape);
