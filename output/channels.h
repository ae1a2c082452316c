// The two output channels: console only, and trace (capture file and console).
#pragma once

#include <cstdio>

#include "output/print_format.h"

// A newline and four spaces: how decoders begin a continuation line.
inline constexpr char CONTINUATION[] = "\n    ";

// The column after wrap_line's indent of eight.
inline constexpr int WRAP_INDENT = 8;

// Console text that is not part of the trace: banner, usage, warnings and,
// normally, colour escapes. Never reaches the capture file; ignores -q.
int con_print(const char* format, ...) PRINTF_FORMAT(1, 2);

// Trace text: to the capture file (flushed at once) when one is open, and to
// the console unless quiet. Returns the length of the formatted text.
int out_print(const char* format, ...) PRINTF_FORMAT(1, 2);

// Starts a continuation line indented by eight columns; returns 8.
int wrap_line();

// The console stream, standard output unless a test replaces it.
std::FILE* console_stream();
void set_console_stream(std::FILE* stream);
