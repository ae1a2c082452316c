// From one AX.25 frame to the trace reports a node would send for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kiss/ax25.h"
#include "kiss/compressed_info.h"
#include "kiss/report.h"
#include "kiss/unframer.h"

namespace kiss {

// The keys that the frame's bytes do not give.
struct StationSettings {
  std::string report_from = "KISS";
  // The node port every report names; the KISS port when not set.
  std::optional<unsigned> port;
  bool is_rf = true;
  // Calls (upper case, "-N" for an SSID other than 0) whose frames are "sent".
  std::vector<std::string> own_calls;
};

class FrameDecoder {
 public:
  explicit FrameDecoder(StationSettings settings) : settings_(std::move(settings)) {}

  // The reports of one frame heard at `time` (seconds since the Unix epoch),
  // each the text of one JSON object of at most MAX_REPORT bytes. Whatever
  // could not be decoded is told in `notes`, one line each.
  std::vector<std::string> decode(const KissFrame& frame, int64_t time,
                                  std::vector<std::string>& notes);

 private:
  void decode_control(FrameReport& report, uint8_t kiss_port,
                      const std::vector<Ax25Address>& addresses, std::span<const uint8_t> rest,
                      int64_t time, std::vector<std::string>& notes);

  StationSettings settings_;
  LinkTable links_;
  CompressedInfoTable compressed_;
  uint64_t serial_ = 0;
};

}  // namespace kiss
