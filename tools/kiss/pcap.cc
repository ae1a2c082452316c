// pcap files of AX.25 frames with their KISS byte (link type 202).
#include "kiss/pcap.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "sim/log.h"

namespace kiss {

namespace {

constexpr uint32_t MAGIC_MICROS = 0xA1B2C3D4;
constexpr uint32_t MAGIC_NANOS = 0xA1B23C4D;
constexpr size_t FILE_HEADER = 24;
constexpr size_t RECORD_HEADER = 16;
// Larger than any frame; a record that claims more is a broken file.
constexpr uint32_t MAX_RECORD = 65535;

uint32_t read32(std::span<const uint8_t> data, size_t at, bool swapped) {
  const uint32_t little =
      static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
      static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
  if (!swapped) return little;
  return (little >> 24) | ((little >> 8) & 0xFF00) | ((little << 8) & 0xFF0000) | (little << 24);
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

bool parse_pcap(std::span<const uint8_t> data, std::vector<PcapRecord>& records,
                std::string& error) {
  if (data.size() < FILE_HEADER) {
    error = "not a pcap file (too short)";
    return false;
  }
  bool swapped = false;
  bool nanos = false;
  const uint32_t magic = read32(data, 0, false);
  if (magic == MAGIC_MICROS || magic == MAGIC_NANOS) {
    nanos = magic == MAGIC_NANOS;
  } else if (read32(data, 0, true) == MAGIC_MICROS || read32(data, 0, true) == MAGIC_NANOS) {
    swapped = true;
    nanos = read32(data, 0, true) == MAGIC_NANOS;
  } else {
    error = "not a pcap file (unknown magic number)";
    return false;
  }
  const uint32_t linktype = read32(data, 20, swapped) & 0x0FFFFFFF;
  if (linktype != LINKTYPE_AX25_KISS) {
    error = sim::format_text("pcap link type %u, not %u (AX.25 with its KISS byte)", linktype,
                             LINKTYPE_AX25_KISS);
    return false;
  }
  size_t at = FILE_HEADER;
  while (at < data.size()) {
    if (data.size() - at < RECORD_HEADER) {
      error = "last record header cut short";
      return true;
    }
    const uint32_t seconds = read32(data, at, swapped);
    const uint32_t fraction = read32(data, at + 4, swapped);
    const uint32_t length = read32(data, at + 8, swapped);
    at += RECORD_HEADER;
    if (length > MAX_RECORD || length > data.size() - at) {
      error = "last record cut short";
      return true;
    }
    PcapRecord record;
    record.seconds = seconds;
    record.micros = nanos ? fraction / 1000 : fraction;
    record.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                        data.begin() + static_cast<std::ptrdiff_t>(at + length));
    records.push_back(std::move(record));
    at += length;
  }
  return true;
}

bool read_pcap(const std::string& path, std::vector<PcapRecord>& records, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = sim::format_text("cannot open %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::string fault;
  const bool ok = parse_pcap(data, records, fault);
  if (!fault.empty()) error = path + ": " + fault;
  return ok;
}

std::vector<uint8_t> write_pcap(const std::vector<PcapRecord>& records) {
  std::vector<uint8_t> out;
  put32(out, MAGIC_MICROS);
  out.push_back(2);  // version 2.4
  out.push_back(0);
  out.push_back(4);
  out.push_back(0);
  put32(out, 0);  // time zone
  put32(out, 0);  // accuracy
  put32(out, MAX_RECORD);
  put32(out, LINKTYPE_AX25_KISS);
  for (const PcapRecord& record : records) {
    put32(out, static_cast<uint32_t>(record.seconds));
    put32(out, static_cast<uint32_t>(record.micros));
    put32(out, static_cast<uint32_t>(record.bytes.size()));
    put32(out, static_cast<uint32_t>(record.bytes.size()));
    out.insert(out.end(), record.bytes.begin(), record.bytes.end());
  }
  return out;
}

}  // namespace kiss
