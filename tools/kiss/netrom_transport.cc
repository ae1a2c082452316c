// The NET/ROM transport header and body of a packet: connections, INFO
// (compressed INFO inflated), resets, and the opcode-0 extensions.
#include "kiss/netrom_transport.h"

#include <string_view>

#include "kiss/ax25.h"
#include "sim/log.h"

namespace kiss {

namespace {

// Transport opcodes: the low nibble of T4; its high bits are flags.
enum Opcode : uint8_t {
  PROT_EXT = 0,
  CONN_REQ = 1,
  CONN_ACK = 2,
  DISC_REQ = 3,
  DISC_ACK = 4,
  INFO = 5,
  INFO_ACK = 6,
  // A reset to most senders; a PID change to one (see decode_opcode_7).
  RESET_OR_PID = 7,
  CONN_REQX = 8,
};
constexpr uint8_t OPCODE_MASK = 0x0F;
constexpr uint8_t CHOKE_FLAG = 0x80;
constexpr uint8_t NAK_FLAG = 0x40;
constexpr uint8_t MORE_FLAG = 0x20;
// On INFO: the body is (a piece of) a zlib block.
constexpr uint8_t COMPRESSED_FLAG = 0x10;

// Opcode 0 is told apart by T0 (family) and T1 (protocol).
constexpr uint8_t FAMILY_IP = 0x0C;
constexpr uint8_t PROTO_IP = 0x0C;
constexpr uint8_t FAMILY_NRR = 0x00;
constexpr uint8_t PROTO_NRR = 0x01;
constexpr uint8_t FAMILY_NCMP = 0x0F;

// A connect request's body: window, user, user's node, then one of two
// extensions (see decode_connect_body).
constexpr size_t CONNECT_BASE = 1 + 2 * ADDRESS_LENGTH;
constexpr size_t TIMEOUT_FORM = CONNECT_BASE + 2;
constexpr size_t SPY_FORM = TIMEOUT_FORM + 1;
constexpr uint8_t TIMEOUT_HIGH_MASK = 0x0F;
constexpr uint8_t COMPRESSION_OFFER = 0x40;
constexpr uint8_t SPY_MARK = 'Z';
constexpr size_t UPLINK_FORM_MIN = CONNECT_BASE + ADDRESS_LENGTH + 1;
constexpr size_t MAX_UPLINK_VIAS = 8;

// A connect acknowledgement's second body byte.
constexpr uint8_t START_TTL_MASK = 0x7F;
constexpr uint8_t COMPRESSION_ACCEPTED = 0x80;

// A route record entry: a call, then a byte whose top bit marks the node
// that turned the record round (the low seven bits are a count). A node
// that turns it early puts why in bits 5 to 7 of the call's SSID byte.
constexpr size_t NRR_ENTRY = ADDRESS_LENGTH + 1;
constexpr uint8_t NRR_TURNED = 0x80;
constexpr unsigned NRR_REASON_SHIFT = 5;
constexpr unsigned NRR_REASON_NORMAL = 3;
constexpr std::string_view NRR_REASONS[] = {"no-route", "local", "gateway", "",
                                            "loop",     "r5",    "r6",      "r7"};

std::string circuit(uint8_t index, uint8_t id) {
  return sim::format_text("%02X%02X", index, id);
}

std::string hex_bytes(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) text += sim::format_text(text.empty() ? "%02X" : " %02X", byte);
  return text;
}

void add_flags(sim::JsonObject& head, uint8_t opcode_byte) {
  if ((opcode_byte & CHOKE_FLAG) != 0) head.boolean("chokeFlag", true);
  if ((opcode_byte & NAK_FLAG) != 0) head.boolean("nakFlag", true);
  if ((opcode_byte & MORE_FLAG) != 0) head.boolean("moreFlag", true);
}

void note_body_left(std::string_view kind, std::span<const uint8_t> body,
                    std::vector<std::string>& notes) {
  if (body.empty()) return;
  notes.push_back(sim::format_text("NET/ROM: %.*s: %zu body bytes not decoded",
                                   static_cast<int>(kind.size()), kind.data(), body.size()));
}

// What follows the user's node decides: 17 or 18 bytes in all hold a
// time-out (its low byte, then four bits of its high byte beside the
// compression offer) and, as the eighteenth, the spy mark; 23 or more, a
// multiple of seven past the sixteenth and ending in 0, the uplink node and
// its vias. Anything else is left undecoded.
void decode_connect_body(sim::JsonObject& head, std::string_view kind,
                         std::span<const uint8_t> body, std::vector<std::string>& notes) {
  const int kind_length = static_cast<int>(kind.size());
  if (!body.empty()) head.num("window", body[0]);
  if (body.size() >= 1 + ADDRESS_LENGTH) head.str("srcUser", call_at(body, 1));
  if (body.size() >= CONNECT_BASE) head.str("srcNode", call_at(body, 1 + ADDRESS_LENGTH));
  if (body.size() < CONNECT_BASE) {
    notes.push_back(sim::format_text("NET/ROM: %.*s cut short at %zu bytes", kind_length,
                                     kind.data(), body.size()));
    return;
  }
  const std::span<const uint8_t> extra = body.subspan(CONNECT_BASE);
  if (body.size() == TIMEOUT_FORM || body.size() == SPY_FORM) {
    head.num("l4t1", extra[0] + 256 * (extra[1] & TIMEOUT_HIGH_MASK));
    if ((extra[1] & COMPRESSION_OFFER) != 0) head.boolean("compressOffer", true);
    if ((extra[1] & ~(TIMEOUT_HIGH_MASK | COMPRESSION_OFFER)) != 0) {
      notes.push_back(sim::format_text(
          "NET/ROM: %.*s: time-out byte 0x%02X: bits 0x%02X not decoded", kind_length, kind.data(),
          extra[1], extra[1] & ~(TIMEOUT_HIGH_MASK | COMPRESSION_OFFER)));
    }
    if (body.size() == SPY_FORM && extra[2] == SPY_MARK) {
      head.boolean("bpqSpy", true);
    } else if (body.size() == SPY_FORM) {
      notes.push_back(sim::format_text("NET/ROM: %.*s: byte 0x%02X after the time-out not decoded",
                                       kind_length, kind.data(), extra[2]));
    }
    return;
  }
  if (body.size() >= UPLINK_FORM_MIN && (body.size() - CONNECT_BASE - 1) % ADDRESS_LENGTH == 0 &&
      body.back() == 0 && (body.size() - UPLINK_FORM_MIN) / ADDRESS_LENGTH <= MAX_UPLINK_VIAS) {
    head.str("uplinkNode", call_at(body, CONNECT_BASE));
    std::string vias;
    for (size_t at = CONNECT_BASE + ADDRESS_LENGTH; at + 1 < body.size(); at += ADDRESS_LENGTH) {
      if (!vias.empty()) vias += ' ';
      vias += call_at(body, at);
    }
    if (!vias.empty()) head.str("uplinkVias", vias);
    return;
  }
  if (!extra.empty()) {
    notes.push_back(sim::format_text("NET/ROM: %.*s: bytes after the user's node not decoded: %s",
                                     kind_length, kind.data(), hex_bytes(extra).c_str()));
  }
}

// The route: each call in order, '*' after the one that turned the record
// round, and after the '*' why it turned early when it says so.
void decode_route_record(sim::JsonObject& head, std::span<const uint8_t, TRANSPORT_HEADER> t,
                         std::span<const uint8_t> body, std::vector<std::string>& notes) {
  std::string route;
  bool turned = false;
  size_t at = 0;
  for (; at + NRR_ENTRY <= body.size(); at += NRR_ENTRY) {
    if (!route.empty()) route += ' ';
    route += call_at(body, at);
    if ((body[at + ADDRESS_LENGTH] & NRR_TURNED) != 0) {
      turned = true;
      route += '*';
      const unsigned reason = body[at + ADDRESS_LENGTH - 1] >> NRR_REASON_SHIFT;
      if (reason != NRR_REASON_NORMAL) route += NRR_REASONS[reason];
    }
  }
  head.str("l4type", turned ? "NRR Reply" : "NRR Request").num("nrrId", t[2] << 8 | t[3]);
  head.str("nrrRoute", route);
  if (at < body.size()) {
    notes.push_back(sim::format_text("NET/ROM: route record: last %zu bytes are no whole entry",
                                     body.size() - at));
  }
}

void decode_extension(sim::JsonObject& head, std::span<const uint8_t, TRANSPORT_HEADER> t,
                      std::span<const uint8_t> body, std::vector<std::string>& notes) {
  if (t[0] == FAMILY_IP && t[1] == PROTO_IP) {
    head.str("l4type", "IP");
  } else if (t[0] == FAMILY_NRR && t[1] == PROTO_NRR) {
    decode_route_record(head, t, body, notes);
  } else if (t[0] == FAMILY_NCMP) {
    // Only the header of these is publicly described.
    head.str("l4type", "NCMP").num("ncmpType", t[2]).num("ncmpCode", t[3]);
    note_body_left("NCMP", body, notes);
  } else {
    head.str("l4type", "PROT EXT")
        .str("l4Family", sim::format_text("%02X", t[0]))
        .str("l4Proto", sim::format_text("%02X", t[1]));
  }
}

// A reset carries no body and names in T2 T3 the circuit of the frame it
// answers; T0 T1 are 00 00 or that same circuit. One node package sends
// opcode 7 for a PID change instead: T0 T1 the partner's circuit, T2 0 and
// T3 the new PID. The bytes tell the two apart only so far: T0 T1 of 00 00
// or equal to T2 T3 is taken for a reset, T2 of 0 otherwise for a PID change.
void decode_opcode_7(sim::JsonObject& head, std::span<const uint8_t, TRANSPORT_HEADER> t,
                     std::span<const uint8_t> body, std::vector<std::string>& notes) {
  if ((t[0] == 0 && t[1] == 0) || (t[0] == t[2] && t[1] == t[3])) {
    head.str("l4type", "RSET").str("toCct", circuit(t[2], t[3]));
    note_body_left("RSET", body, notes);
  } else if (t[2] == 0) {
    head.str("l4type", "PID CHANGE")
        .str("toCct", circuit(t[0], t[1]))
        .str("newPid", sim::format_text("%02X", t[3]));
    note_body_left("PID CHANGE", body, notes);
  } else {
    head.str("l4type", "unknown");
    notes.push_back(sim::format_text(
        "NET/ROM: opcode 7 with T0 T1 %02X%02X and T2 T3 %02X%02X is neither a reset nor a PID "
        "change",
        t[0], t[1], t[2], t[3]));
  }
}

void decode_compressed_info(FrameReport& report, std::span<const uint8_t, TRANSPORT_HEADER> t,
                            std::span<const uint8_t> body, const PacketPlace& place,
                            CompressedInfoTable& compressed, std::vector<std::string>& notes) {
  sim::JsonObject& head = report.head();
  const CircuitKey key{place.port, place.source, place.destination, circuit(t[0], t[1])};
  const CompressedInfoTable::Joined joined =
      compressed.add(key, {t[2], body, (t[4] & MORE_FLAG) == 0}, place.time, notes);
  if (joined.fault.empty() && !joined.complete) {
    head.num("compressedPiece", static_cast<int64_t>(joined.pieces));
    return;
  }
  InflateOutcome outcome;
  if (joined.fault.empty()) {
    outcome = inflate_block(joined.block);
    head.num("compressed", static_cast<int64_t>(joined.block.size()));
    if (joined.pieces > 1) head.num("compressedPieces", static_cast<int64_t>(joined.pieces));
  } else {
    outcome.fault = joined.fault;
  }
  if (outcome.inflated) {
    head.num("inflated", static_cast<int64_t>(outcome.text.size()));
    report.set_text("text", outcome.text);
    return;
  }
  head.str("inflateFault", outcome.fault);
  notes.push_back(sim::format_text("NET/ROM: compressed INFO of circuit %s does not inflate: %s",
                                   key.circuit.c_str(), outcome.fault.c_str()));
}

}  // namespace

void decode_transport(FrameReport& report, std::span<const uint8_t, TRANSPORT_HEADER> t,
                      std::span<const uint8_t> body, const PacketPlace& place,
                      CompressedInfoTable& compressed, std::vector<std::string>& notes) {
  sim::JsonObject& head = report.head();
  const uint8_t opcode = t[4] & OPCODE_MASK;
  switch (opcode) {
    case PROT_EXT:
      decode_extension(head, t, body, notes);
      break;
    case CONN_REQ:
      head.str("l4type", "CONN REQ").str("fromCct", circuit(t[0], t[1]));
      decode_connect_body(head, "CONN REQ", body, notes);
      break;
    case CONN_REQX:
      // One widespread sender always writes T3 as 0.
      head.str("l4type", "CONN_REQX")
          .str("fromCct", circuit(t[0], t[1]))
          .num("service", t[2] + 256 * t[3]);
      decode_connect_body(head, "CONN_REQX", body, notes);
      break;
    case CONN_ACK:
      // A refusal is an acknowledgement with the choke flag.
      if ((t[4] & CHOKE_FLAG) != 0) {
        head.str("l4type", "CONN NAK").str("toCct", circuit(t[0], t[1]));
        break;
      }
      head.str("l4type", "CONN ACK").str("toCct", circuit(t[0], t[1]));
      head.str("fromCct", circuit(t[2], t[3]));
      if (!body.empty()) head.num("window", body[0]);
      if (body.size() >= 2) {
        head.num("startTtl", body[1] & START_TTL_MASK);
        if ((body[1] & COMPRESSION_ACCEPTED) != 0) head.boolean("compressAccept", true);
      }
      if (body.size() > 2) note_body_left("CONN ACK", body.subspan(2), notes);
      break;
    case DISC_REQ:
      head.str("l4type", "DREQ").str("toCct", circuit(t[0], t[1]));
      break;
    case DISC_ACK:
      head.str("l4type", "DACK").str("toCct", circuit(t[0], t[1]));
      break;
    case INFO:
      head.str("l4type", "INFO").str("toCct", circuit(t[0], t[1]));
      head.num("txSeq", t[2]).num("rxSeq", t[3]).num("paylen", static_cast<int64_t>(body.size()));
      add_flags(head, t[4]);
      if ((t[4] & COMPRESSED_FLAG) != 0) {
        decode_compressed_info(report, t, body, place, compressed, notes);
      } else {
        report.set_text("text",
                        std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
      }
      break;
    case INFO_ACK:
      head.str("l4type", "INFO ACK").str("toCct", circuit(t[0], t[1])).num("rxSeq", t[3]);
      add_flags(head, t[4]);
      break;
    case RESET_OR_PID:
      decode_opcode_7(head, t, body, notes);
      break;
    default:
      head.str("l4type", "unknown");
      notes.push_back(sim::format_text("NET/ROM: transport opcode %u not decoded", opcode));
  }
}

}  // namespace kiss
