// Summaries of IP datagrams (PID CC) and ARP packets (PID CD) carried in
// AX.25 frames.
#include "kiss/ip_arp.h"

#include "kiss/ax25.h"
#include "sim/log.h"

namespace kiss {

namespace {

constexpr size_t IPV4_HEADER = 20;
constexpr size_t ARP_FIXED = 8;
// Hardware and protocol addresses longer than this are not shown (they
// would crowd the report; AX.25 ARP uses 7 and 4).
constexpr size_t MAX_ARP_ADDRESS = 16;
constexpr uint16_t ETHERTYPE_IP = 0x0800;
// AX.25 ARP names IP by its PID.
constexpr uint16_t AX25_PID_IP = 0x00CC;

unsigned be16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<unsigned>(bytes[at] << 8 | bytes[at + 1]);
}

std::string dotted(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    if (!text.empty()) text += '.';
    text += std::to_string(byte);
  }
  return text;
}

std::string hex_bytes(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    if (!text.empty()) text += ':';
    text += sim::format_text("%02X", byte);
  }
  return text;
}

std::string hardware_address(std::span<const uint8_t> bytes) {
  if (bytes.size() == ADDRESS_LENGTH) {
    return address_call(std::span<const uint8_t, ADDRESS_LENGTH>(bytes.data(), ADDRESS_LENGTH));
  }
  return hex_bytes(bytes);
}

std::string protocol_address(std::span<const uint8_t> bytes) {
  return bytes.size() == 4 ? dotted(bytes) : hex_bytes(bytes);
}

const char* ip_protocol_name(uint8_t protocol) {
  switch (protocol) {
    case 1:
      return "ICMP";
    case 4:
      return "IPIP";
    case 6:
      return "TCP";
    case 17:
      return "UDP";
    default:
      return nullptr;
  }
}

}  // namespace

void decode_ip(FrameReport& report, std::span<const uint8_t> info,
               std::vector<std::string>& notes) {
  if (info.empty()) {
    notes.emplace_back("IP: no header");
    return;
  }
  if (info[0] >> 4 != 4) {
    notes.push_back(sim::format_text("IP: version %u not decoded", info[0] >> 4));
    return;
  }
  sim::JsonObject& head = report.head();
  if (info.size() >= 16) head.str("ipFrom", dotted(info.subspan(12, 4)));
  if (info.size() >= 20) head.str("ipTo", dotted(info.subspan(16, 4)));
  if (info.size() >= 4) head.num("ipLen", be16(info, 2));
  if (info.size() >= 9) head.num("ipTTL", info[8]);
  if (info.size() >= 6) head.num("ipID", be16(info, 4));
  if (info.size() >= 10) {
    head.num("ipPtcl", info[9]);
    if (const char* name = ip_protocol_name(info[9])) head.str("ipProto", name);
  }
  if (info.size() < IPV4_HEADER) {
    notes.push_back(sim::format_text("IP: header cut short at %zu bytes", info.size()));
  }
}

void decode_arp(FrameReport& report, std::span<const uint8_t> info,
                std::vector<std::string>& notes) {
  sim::JsonObject& head = report.head();
  if (info.size() >= 8) {
    const unsigned op = be16(info, 6);
    if (op == 1) {
      head.str("arpOp", "REQUEST");
    } else if (op == 2) {
      head.str("arpOp", "REPLY");
    } else {
      head.num("arpOp", op);
    }
  }
  if (info.size() >= 2) head.num("arpHwType", be16(info, 0));
  if (info.size() >= 5) head.num("arpHwLen", info[4]);
  if (info.size() >= 4) {
    const unsigned protocol = be16(info, 2);
    head.str("arpPtcl", protocol == ETHERTYPE_IP || protocol == AX25_PID_IP
                            ? std::string("IP")
                            : sim::format_text("%04X", protocol));
  }
  if (info.size() < ARP_FIXED) {
    notes.push_back(sim::format_text("ARP: header cut short at %zu bytes", info.size()));
    return;
  }
  const size_t hw_len = info[4];
  const size_t proto_len = info[5];
  if (hw_len > MAX_ARP_ADDRESS || proto_len > MAX_ARP_ADDRESS) {
    notes.push_back(
        sim::format_text("ARP: addresses of %zu and %zu bytes not shown", hw_len, proto_len));
    return;
  }
  const size_t sender_hw = ARP_FIXED;
  const size_t sender_proto = sender_hw + hw_len;
  const size_t target_hw = sender_proto + proto_len;
  const size_t target_proto = target_hw + hw_len;
  const size_t end = target_proto + proto_len;
  if (info.size() >= target_hw)
    head.str("arpSndAddr", protocol_address(info.subspan(sender_proto, proto_len)));
  if (info.size() >= end)
    head.str("arpTgtAddr", protocol_address(info.subspan(target_proto, proto_len)));
  if (info.size() >= sender_proto)
    head.str("arpSndHw", hardware_address(info.subspan(sender_hw, hw_len)));
  if (info.size() >= target_proto)
    head.str("arpTgtHw", hardware_address(info.subspan(target_hw, hw_len)));
  if (info.size() < end) {
    notes.push_back(sim::format_text("ARP: addresses cut short at %zu bytes", info.size()));
  }
}

}  // namespace kiss
