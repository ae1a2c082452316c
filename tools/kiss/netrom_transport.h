// The NET/ROM transport header and body of a packet: connections, INFO
// (compressed INFO inflated), resets, and the opcode-0 extensions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kiss/compressed_info.h"
#include "kiss/report.h"

namespace kiss {

inline constexpr size_t TRANSPORT_HEADER = 5;

// Where a packet was heard, for joining compressed INFO per circuit.
struct PacketPlace {
  uint8_t port = 0;
  std::string source;  // the NET/ROM source and destination
  std::string destination;
  int64_t time = 0;
};

// Adds the transport keys of `header` (T0 to T4) and `body` (what follows).
void decode_transport(FrameReport& report, std::span<const uint8_t, TRANSPORT_HEADER> header,
                      std::span<const uint8_t> body, const PacketPlace& place,
                      CompressedInfoTable& compressed, std::vector<std::string>& notes);

}  // namespace kiss
