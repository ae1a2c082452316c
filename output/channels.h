// The two output channels: console only, and trace (capture file and console).
#pragma once

#include <cstdio>

// A newline and four spaces: how decoders begin a continuation line.
inline constexpr char CONTINUATION[] = "\n    ";

// The column after wrap_line's indent of eight.
inline constexpr int WRAP_INDENT = 8;

// Console text that is not part of the trace: banner, usage, warnings and,
// normally, colour escapes. Never reaches the capture file; ignores -q.
int con_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Trace text: to the capture file (flushed at once) when one is open, and to
// the console unless quiet. Returns the length of the formatted text. When
// writing to the capture file starts or stops failing, the console says so.
int out_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr char CAPTURE_OPEN_FAILURE[] = "Can't open capture file '%s'\n";

// Opens the capture file, truncated or appended to; nullptr on failure.
std::FILE* open_capture_stream(const char* path, bool overwrite);

// Starts a continuation line indented by eight columns; returns 8.
int wrap_line();

// The console stream, standard output unless a test replaces it.
std::FILE* console_stream();
void set_console_stream(std::FILE* stream);
