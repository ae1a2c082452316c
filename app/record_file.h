// --record: every datagram received, appended to a datagram file with its
// arrival time, before it is formatted.
#pragma once

#include <cstddef>
#include <cstdint>

// Opens the file for appending and writes the header of a recording from
// the node at server_address; false after printing why.
bool open_record_file(const char* path, std::uint32_t server_address);

// Appends one datagram, timed in milliseconds from the opening; nothing
// when no record file is open.
void record_datagram(const char* data, std::size_t length);

// logrotate has moved the file away: opens the path again, with a header;
// the times go on from the same start.
void reopen_record_file();
