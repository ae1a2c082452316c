// NET/ROM in AX.25 frames (PID CF): routing broadcasts and polls, INP3
// routing information, and packets with their network and transport headers.
#include "kiss/netrom.h"

#include "kiss/ax25.h"
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
constexpr size_t TRANSPORT_HEADER = 5;
constexpr size_t PACKET_HEADERS = NETWORK_HEADER + TRANSPORT_HEADER;

// Transport opcodes (low nibble of the fifth transport byte) and flags.
enum Opcode : uint8_t {
  PROT_EXT = 0,
  CONN_REQ = 1,
  CONN_ACK = 2,
  DISC_REQ = 3,
  DISC_ACK = 4,
  INFO = 5,
  INFO_ACK = 6,
  RESET = 7,
};
constexpr uint8_t OPCODE_MASK = 0x0F;
constexpr uint8_t CHOKE_FLAG = 0x80;
constexpr uint8_t NAK_FLAG = 0x40;
constexpr uint8_t MORE_FLAG = 0x20;
// A protocol extension with this family and protocol carries IP.
constexpr uint8_t PROTO_IP = 0x0C;

// CONN REQ: window, user, user's node, then optionally the transport
// time-out in seconds, low byte first.
constexpr size_t CONN_REQ_BASE = 1 + 2 * ADDRESS_LENGTH;
constexpr size_t CONN_REQ_WITH_TIMEOUT = CONN_REQ_BASE + 2;

// INP3: each destination is a call, a hop count and a two-byte trip time,
// then options (length byte counting itself and the type byte, type, data)
// up to a zero byte.
constexpr size_t INP3_FIXED = ADDRESS_LENGTH + 1 + 2;
constexpr uint8_t INP3_OPTION_ALIAS = 0x00;
constexpr uint8_t INP3_OPTION_IP = 0x01;

std::string call_at(std::span<const uint8_t> bytes, size_t at) {
  return address_call(std::span<const uint8_t, ADDRESS_LENGTH>(bytes.data() + at, ADDRESS_LENGTH));
}

std::string alias_at(std::span<const uint8_t> bytes, size_t at, size_t length) {
  std::string alias = clean_text(bytes.subspan(at, length));
  while (!alias.empty() && alias.back() == ' ') alias.pop_back();
  return alias;
}

std::string circuit(uint8_t index, uint8_t id) {
  return sim::format_text("%02X%02X", index, id);
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
                         std::vector<std::string>& notes) {
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
    if (type == INP3_OPTION_ALIAS && data.size() <= ALIAS_LENGTH) {
      entry.str("alias", alias_at(data, 0, data.size()));
    } else if (type == INP3_OPTION_IP && data.size() == 4) {
      entry.str("ipAddr", sim::format_text("%u.%u.%u.%u", data[0], data[1], data[2], data[3]));
    } else {
      notes.push_back(
          sim::format_text("INP3: option type 0x%02X of %zu bytes skipped", type, data.size()));
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
  for (size_t at = 1; at < info.size();) at = decode_inp3_entry(report, info, at, notes);
}

void add_flags(sim::JsonObject& head, uint8_t opcode_byte) {
  if ((opcode_byte & CHOKE_FLAG) != 0) head.boolean("chokeFlag", true);
  if ((opcode_byte & NAK_FLAG) != 0) head.boolean("nakFlag", true);
  if ((opcode_byte & MORE_FLAG) != 0) head.boolean("moreFlag", true);
}

void decode_transport(FrameReport& report, std::span<const uint8_t> info,
                      std::vector<std::string>& notes) {
  sim::JsonObject& head = report.head();
  const std::span<const uint8_t> t = info.subspan(NETWORK_HEADER, TRANSPORT_HEADER);
  const std::span<const uint8_t> data = info.subspan(PACKET_HEADERS);
  const uint8_t opcode = t[4] & OPCODE_MASK;
  switch (opcode) {
    case PROT_EXT:
      if (t[0] == PROTO_IP && t[1] == PROTO_IP) {
        head.str("l4type", "IP");
      } else {
        head.str("l4type", "PROT EXT")
            .str("l4Family", sim::format_text("%02X", t[0]))
            .str("l4Proto", sim::format_text("%02X", t[1]));
      }
      break;
    case CONN_REQ:
      head.str("l4type", "CONN REQ").str("fromCct", circuit(t[0], t[1]));
      if (!data.empty()) head.num("window", data[0]);
      if (data.size() >= 1 + ADDRESS_LENGTH) head.str("srcUser", call_at(data, 1));
      if (data.size() >= CONN_REQ_BASE) head.str("srcNode", call_at(data, 1 + ADDRESS_LENGTH));
      if (data.size() >= CONN_REQ_WITH_TIMEOUT) {
        head.num("l4t1", data[CONN_REQ_BASE] | data[CONN_REQ_BASE + 1] << 8);
      }
      if (data.size() < CONN_REQ_BASE) {
        notes.push_back(sim::format_text("NET/ROM: CONN REQ cut short at %zu bytes", data.size()));
      } else if (data.size() > CONN_REQ_WITH_TIMEOUT) {
        notes.push_back(sim::format_text("NET/ROM: %zu further CONN REQ bytes not decoded",
                                         data.size() - CONN_REQ_WITH_TIMEOUT));
      }
      break;
    case CONN_ACK:
      // A refusal is an acknowledgement with the choke flag.
      if ((t[4] & CHOKE_FLAG) != 0) {
        head.str("l4type", "CONN NAK").str("toCct", circuit(t[0], t[1]));
        break;
      }
      head.str("l4type", "CONN ACK").str("toCct", circuit(t[0], t[1]));
      head.str("fromCct", circuit(t[2], t[3]));
      if (!data.empty()) head.num("window", data[0]);
      break;
    case DISC_REQ:
      head.str("l4type", "DREQ").str("toCct", circuit(t[0], t[1]));
      break;
    case DISC_ACK:
      head.str("l4type", "DACK").str("toCct", circuit(t[0], t[1]));
      break;
    case INFO:
      head.str("l4type", "INFO").str("toCct", circuit(t[0], t[1]));
      head.num("txSeq", t[2]).num("rxSeq", t[3]).num("paylen", static_cast<int64_t>(data.size()));
      add_flags(head, t[4]);
      report.set_text("text",
                      std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
      break;
    case INFO_ACK:
      head.str("l4type", "INFO ACK").str("toCct", circuit(t[0], t[1])).num("rxSeq", t[3]);
      add_flags(head, t[4]);
      break;
    case RESET:
      head.str("l4type", "RSET").str("toCct", circuit(t[0], t[1]));
      head.str("fromCct", circuit(t[2], t[3]));
      break;
    default:
      head.str("l4type", "unknown");
      notes.push_back(sim::format_text("NET/ROM: transport opcode %u not decoded", opcode));
  }
}

void decode_packet(FrameReport& report, std::span<const uint8_t> info,
                   std::vector<std::string>& notes) {
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
  decode_transport(report, info, notes);
}

}  // namespace

void decode_netrom(FrameReport& report, std::span<const uint8_t> info, const NetRomCarrier& carrier,
                   std::vector<std::string>& notes) {
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
    decode_packet(report, info, notes);
  }
}

}  // namespace kiss
