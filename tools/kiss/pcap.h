// pcap files of AX.25 frames with their KISS byte (link type 202).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kiss {

inline constexpr uint32_t LINKTYPE_AX25_KISS = 202;

struct PcapRecord {
  int64_t seconds = 0;
  int64_t micros = 0;          // within the second
  std::vector<uint8_t> bytes;  // the KISS command byte, then the frame
};

// Reads a whole file's bytes: classic pcap with microsecond or nanosecond
// time stamps, in either byte order. False with `error` set on a file that
// is not pcap or not of link type 202; a last record cut short is dropped
// with a note in `error` while the result stays true.
bool parse_pcap(std::span<const uint8_t> data, std::vector<PcapRecord>& records,
                std::string& error);

bool read_pcap(const std::string& path, std::vector<PcapRecord>& records, std::string& error);

// The file form of `records`, microsecond time stamps, little-endian.
std::vector<uint8_t> write_pcap(const std::vector<PcapRecord>& records);

}  // namespace kiss
