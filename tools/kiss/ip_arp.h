// Summaries of IP datagrams (PID CC) and ARP packets (PID CD) carried in
// AX.25 frames.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kiss/report.h"

namespace kiss {

void decode_ip(FrameReport& report, std::span<const uint8_t> info, std::vector<std::string>& notes);
void decode_arp(FrameReport& report, std::span<const uint8_t> info,
                std::vector<std::string>& notes);

}  // namespace kiss
