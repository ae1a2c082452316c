// NET/ROM in AX.25 frames (PID CF): routing broadcasts and polls, INP3
// routing information, and packets with their network and transport headers.
#include "kiss/netrom.h"

#include "kiss/ax25.h"
#include "kiss/netrom_transport.h"
#include "sim/log.h"

namespace kiss {

namespace {

// The first byte of a routing broadcast (UI to NODES) and of INP3 routing
// information (in an I frame); a UI to NODES beginning 0xFE asks the
// neighbours for their broadcasts.
constexpr uint8_t ROUTING_SIGNATURE = 0xFF;
constexpr uint8_t POLL_SIGNATURE = 0xFE;
constexpr std::string_view NODES_DEST = "NODES";
constexpr std::string_view L3RTT_DEST = "L3RTT";

constexpr size_t ALIAS_LENGTH = 6;
constexpr size_t NODES_ENTRY = 21;     // call, alias, neighbour, quality
constexpr size_t NETWORK_HEADER = 15;  // origin, destination, time to live
constexpr size_t PACKET_HEADERS = NETWORK_HEADER + TRANSPORT_HEADER;

// INP3: each destination is a call, a hop count and a two-byte trip time,
// then options (length byte counting itself and the type byte, type, data)
// up to a zero byte.
constexpr size_t INP3_FIXED = ADDRESS_LENGTH + 1 + 2;
// The alias: one to six characters, no padding.
constexpr uint8_t INP3_OPTION_ALIAS = 0x00;
// An IPv4 address (network order) and a prefix length of 1 to 32.
constexpr uint8_t INP3_OPTION_IP = 0x01;
constexpr size_t INP3_IP_DATA = 4 + 1;
constexpr unsigned MAX_PREFIX = 32;

// The options of one INP3 frame that the bridge does not know: each is
// skipped by its length, and they are told once for the frame.
struct SkippedOptions {
  size_t count = 0;
  std::string types;
};

std::string alias_at(std::span<const uint8_t> bytes, size_t at, size_t length) {
  std::string alias = clean_text(bytes.subspan(at, length));
  while (!alias.empty() && alias.back() == ' ') alias.pop_back();
  return alias;
}

void decode_nodes(FrameReport& report, std::span<const uint8_t> info,
                  std::vector<std::string>& notes) {
  report.head().str("l3Type", "Routing info").str("type", "NODES");
  if (info.size() >= 1 + ALIAS_LENGTH) {
    report.head().str("fromAlias", alias_at(info, 1, ALIAS_LENGTH));
  } else {
    notes.emplace_back("NODES: sender's alias cut short");
  }
  report.set_entries_key("nodes");
  for (size_t at = 1 + ALIAS_LENGTH; at < info.size(); at += NODES_ENTRY) {
    const size_t left = info.size() - at;
    sim::JsonObject entry;
    if (left >= ADDRESS_LENGTH) entry.str("call", call_at(info, at));
    if (left >= ADDRESS_LENGTH + ALIAS_LENGTH) {
      entry.str("alias", alias_at(info, at + ADDRESS_LENGTH, ALIAS_LENGTH));
    }
    if (left >= NODES_ENTRY - 1)
      entry.str("via", call_at(info, at + ADDRESS_LENGTH + ALIAS_LENGTH));
    if (left >= NODES_ENTRY) entry.num("qual", info[at + NODES_ENTRY - 1]);
    if (left < NODES_ENTRY) {
      notes.push_back(
          sim::format_text("NODES: last entry cut short at %zu of %zu bytes", left, NODES_ENTRY));
      if (left < ADDRESS_LENGTH) break;
    }
    report.add_entry(entry);
  }
}

// One INP3 destination from `at`; returns where the next begins, or the end
// of `info` when the rest cannot be read.
size_t decode_inp3_entry(FrameReport& report, std::span<const uint8_t> info, size_t at,
                         SkippedOptions& skipped, std::vector<std::string>& notes) {
  const size_t left = info.size() - at;
  sim::JsonObject entry;
  if (left >= ADDRESS_LENGTH) entry.str("call", call_at(info, at));
  if (left >= ADDRESS_LENGTH + 1) entry.num("hops", info[at + ADDRESS_LENGTH]);
  if (left >= INP3_FIXED) {
    entry.num("tt", info[at + ADDRESS_LENGTH + 1] << 8 | info[at + ADDRESS_LENGTH + 2]);
  }
  if (left < INP3_FIXED) {
    notes.push_back(sim::format_text("INP3: destination cut short at %zu bytes", left));
    if (left >= ADDRESS_LENGTH) report.add_entry(entry);
    return info.size();
  }
  size_t pos = at + INP3_FIXED;
  for (;;) {
    if (pos >= info.size()) {
      notes.emplace_back("INP3: options end without their zero byte");
      break;
    }
    const size_t length = info[pos];
    if (length == 0) {
      ++pos;
      break;
    }
    if (length < 2 || pos + length > info.size()) {
      notes.push_back(sim::format_text("INP3: option of length %zu cut short", length));
      pos = info.size();
      break;
    }
    const uint8_t type = info[pos + 1];
    const std::span<const uint8_t> data = info.subspan(pos + 2, length - 2);
    if (type == INP3_OPTION_ALIAS && !data.empty() && data.size() <= ALIAS_LENGTH) {
      entry.str("alias", alias_at(data, 0, data.size()));
    } else if (type == INP3_OPTION_IP && data.size() == INP3_IP_DATA && data[4] >= 1 &&
               data[4] <= MAX_PREFIX) {
      entry.str("ipAddr",
                sim::format_text("%u.%u.%u.%u/%u", data[0], data[1], data[2], data[3], data[4]));
    } else if (type == INP3_OPTION_ALIAS || type == INP3_OPTION_IP) {
      notes.push_back(sim::format_text("INP3: %s option of %zu bytes skipped",
                                       type == INP3_OPTION_IP ? "IP" : "alias", data.size()));
    } else {
      ++skipped.count;
      skipped.types += sim::format_text(skipped.types.empty() ? "0x%02X" : ", 0x%02X", type);
    }
    pos += length;
  }
  report.add_entry(entry);
  return pos;
}

void decode_inp3(FrameReport& report, std::span<const uint8_t> info,
                 std::vector<std::string>& notes) {
  report.head().str("l3Type", "Routing info").str("type", "INP3");
  report.set_entries_key("nodes");
  SkippedOptions skipped;
  for (size_t at = 1; at < info.size();) at = decode_inp3_entry(report, info, at, skipped, notes);
  if (skipped.count != 0) {
    notes.push_back(sim::format_text("INP3: options of unknown type skipped: %zu (%s)",
                                     skipped.count, skipped.types.c_str()));
  }
}

void decode_packet(FrameReport& report, std::span<const uint8_t> info, const NetRomCarrier& carrier,
                   CompressedInfoTable& compressed, std::vector<std::string>& notes) {
  sim::JsonObject& head = report.head();
  head.str("l3Type", "NetRom");
  std::string destination;
  if (info.size() >= ADDRESS_LENGTH) head.str("l3src", call_at(info, 0));
  if (info.size() >= 2 * ADDRESS_LENGTH) {
    destination = call_at(info, ADDRESS_LENGTH);
    head.str("l3dst", destination);
  }
  if (info.size() >= NETWORK_HEADER) head.num("ttl", info[2 * ADDRESS_LENGTH]);
  if (info.size() < PACKET_HEADERS) {
    notes.push_back(sim::format_text("NET/ROM: headers cut short at %zu of %zu bytes", info.size(),
                                     PACKET_HEADERS));
    return;
  }
  if (destination == L3RTT_DEST) {
    const std::span<const uint8_t> payload = info.subspan(PACKET_HEADERS);
    head.num("paylen", static_cast<int64_t>(payload.size()));
    report.set_text(
        "payload", std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
    return;
  }
  decode_transport(
      report, info.subspan(NETWORK_HEADER).first<TRANSPORT_HEADER>(), info.subspan(PACKET_HEADERS),
      PacketPlace{carrier.port, call_at(info, 0), destination, carrier.time}, compressed, notes);
}

}  // namespace

void decode_netrom(FrameReport& report, std::span<const uint8_t> info, const NetRomCarrier& carrier,
                   CompressedInfoTable& compressed, std::vector<std::string>& notes) {
  if (info.empty()) {
    notes.emplace_back("NET/ROM: no content");
    return;
  }
  if (carrier.is_ui && carrier.dest == NODES_DEST && info[0] == ROUTING_SIGNATURE) {
    decode_nodes(report, info, notes);
  } else if (carrier.is_ui && carrier.dest == NODES_DEST && info[0] == POLL_SIGNATURE) {
    report.head().str("l3Type", "Routing poll");
  } else if (carrier.is_i && info[0] == ROUTING_SIGNATURE) {
    decode_inp3(report, info, notes);
  } else {
    decode_packet(report, info, carrier, compressed, notes);
  }
}

}  // namespace kiss
