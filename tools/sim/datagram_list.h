// A whole datagram file in memory, for replays that may start over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Datagram {
  std::string bytes;
  // Arrival time in milliseconds from the start of the recording, when the
  // record carries one.
  std::optional<int64_t> at_ms;
};

// Reads the datagram file at `path`, or standard input for "-". On a
// fault, returns false with `error` set to "NAME:LINE: what is wrong";
// `datagrams` then holds the records before it.
bool load_datagram_file(const std::string& path, std::vector<Datagram>& datagrams,
                        std::string& error);

}  // namespace sim
