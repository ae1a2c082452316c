// Cuts each complete top-level JSON object out of a trace datagram.
#pragma once

#include <cstddef>

// Room for the text of one object between its braces and a terminator.
inline constexpr std::size_t OBJECT_BUFFER_SIZE = 4096;

using ReportHandler = void (*)(const char* report);

// Writes a terminator at data[length] (data must hold length + 1 bytes) and
// hands the inner text of every complete top-level object to `handle`
// (dispatch_report, from the receive loop), in order. Only braces, quotes
// and backslashes are understood; an object left open at the end, or too
// long for the object buffer, is dropped.
void split_datagram(char* data, std::size_t length, ReportHandler handle);
