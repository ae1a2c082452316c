// --read: the datagrams of a datagram file instead of the node's.
#pragma once

#include <cstdio>

// Opens the file ("-": standard input); null after printing why.
std::FILE* open_datagram_input(const char* path);

// Hands every datagram of the file to the splitter as the receive loop
// hands on what it receives, then closes the file. With recorded_pace each
// waits for its recorded time. Returns 0 at the end of the file, 1 at a
// malformed line (after what came before it and a message naming the
// line), 128 + the signal that ended the reading early.
int run_read_loop(std::FILE* in, const char* path, bool recorded_pace);
