// The heard file: the heard tables as text, one entry a line, and back
// (docs/heard-file.md).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "heard/tables.h"

// The first line names the format and its version; a reader takes no other.
inline constexpr char HEARD_FILE_FIRST_LINE[] = "pellarin-heard\t1\n";

// A line, its line feed included, is at most this long; the longest that a
// writer makes (a link's) has about 700 characters.
inline constexpr std::size_t HEARD_LINE_LIMIT = 2048;

// Where the writer's text goes, a piece at a time; false stops the writing.
using HeardFileSink = bool (*)(void* context, std::string_view piece);

// Writes every table, each least recently heard first, so that reading the
// file back keeps their order. False when the sink refused a piece.
bool write_heard_file(const HeardTables& tables, HeardFileSink sink, void* context);

// Replaces the tables with a file's. The file is hostile: a line that is
// not exactly what a writer makes (but for comment lines, empty lines and a
// carriage return before a line feed), another version, or a file cut
// short leave the tables empty, and `error` says where and why.
bool read_heard_file(std::FILE* in, HeardTables& tables, std::string& error);
