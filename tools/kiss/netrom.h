// NET/ROM in AX.25 frames (PID CF): routing broadcasts and polls, INP3
// routing information, and packets with their network and transport headers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kiss/compressed_info.h"
#include "kiss/report.h"

namespace kiss {

struct NetRomCarrier {
  bool is_ui = false;
  bool is_i = false;
  std::string_view dest;  // the AX.25 destination call
  uint8_t port = 0;       // the KISS port
  int64_t time = 0;       // when the frame was heard
};

// Adds the report keys of the NET/ROM content `info` (the bytes after the
// PID), joining compressed INFO in `compressed`; whatever is cut short or
// not decoded is told in `notes`.
void decode_netrom(FrameReport& report, std::span<const uint8_t> info, const NetRomCarrier& carrier,
                   CompressedInfoTable& compressed, std::vector<std::string>& notes);

}  // namespace kiss
