// The traffic generator: a small, believable packet network around the node
// N0DE, played deterministically from a seed as trace report datagrams.
#include "sim/traffic.h"

#include <ctime>

#include "intake/datagram.h"
#include "sim/json.h"
#include "sim/log.h"

namespace sim {

namespace {

constexpr std::string_view NODE_CALL = "N0DE";
constexpr std::string_view NODE_ALIAS = "PELNOD";
constexpr std::string_view NODE_LOCATOR = "IO91WM";
constexpr std::string_view NODE_SOFTWARE = "Korvane";
constexpr std::string_view NODE_VERSION = "1.4.2";

// Port 1 is the node's radio port, port 2 an AX.25-over-UDP link.
constexpr int RF_PORT = 1;

// The generated traffic starts near this time, shifted by the seed.
constexpr int64_t BASE_TIME = 1765000000;

constexpr size_t MAX_CIRCUITS = 6;

// Objects are packed into one datagram up to this size.
constexpr size_t PACK_LIMIT = MAX_DATAGRAM;

struct Neighbour {
  std::string_view node;   // NET/ROM node call, also its AX.25 call
  std::string_view alias;  // NET/ROM alias
  std::string_view user;   // an operator who connects through it
  int port;
};

constexpr Neighbour NEIGHBOURS[] = {
    {"G4ABC-7", "ABC7", "G4ABC-1", 1},
    {"G8XYZ-2", "XYZNOD", "G8XYZ", 1},
    {"M0PQR-4", "PQRGW", "M0PQR-3", 2},
};

constexpr std::string_view LOCAL_USERS[] = {"G7MNO", "M7STU-2", "2E0VWX", "G0NOP-5"};

struct NodesEntry {
  std::string_view call;
  std::string_view alias;
  int quality;
};

constexpr NodesEntry DESTINATIONS[] = {
    {"G4ABC-7", "ABC7", 200},  {"G8XYZ-2", "XYZNOD", 192}, {"M0PQR-4", "PQRGW", 180},
    {"N0RILL", "RILBBS", 152}, {"N0BECK", "BCKNOD", 148},  {"G3KLM-5", "KLMCHT", 120},
    {"N0VAAR", "VARNOD", 110}, {"N0WEDE", "WEDNET", 101},  {"G6DEF-9", "DEFBBS", 96},
    {"M1GHI-3", "GHI3", 88},   {"N0CARR", "CARNOD", 75},   {"G0JKL-1", "JKLDX", 60},
};

struct Inp3Node {
  std::string_view call;
  std::string_view alias;
  double latitude;
  double longitude;
  std::string_view software;
  std::string_view version;
  bool bbs;
  bool chat;
  int tz_mins;
};

constexpr Inp3Node INP3_NODES[] = {
    {"N0RILL", "RILBBS", 51.7520, -1.2577, "Korvane", "1.4.2", true, false, 0},
    {"N0VAAR", "VARNOD", 52.0116, 4.3571, "Brackon", "318k", false, true, 60},
    {"N0WEDE", "WEDNET", 50.8503, 4.3517, "Hol32", "3.1.17.1", false, false, 60},
    {"G3KLM-5", "KLMCHT", 53.4808, -2.2426, "Korvane", "1.3.9", false, true, 0},
    {"N0CARR", "CARNOD", 52.2053, 0.1218, "Hollin", "3.1.16", true, true, 0},
    {"N0ZZ-4", "WOLD", 41.7147, -72.7272, "Orra", "0.9b", true, false, -300},
};

// Chat lines, quotes, backslashes, a tab, braces and UTF-8 included: every
// one must still leave the generator as valid JSON.
constexpr std::string_view CHAT[] = {
    "Morning all, anyone on frequency?",
    "GM Pete, 5 and 9 here, the new antenna is up at last",
    "He said \"QRT at nine\" but he's still on",
    "Logs are in C:\\Korvane\\logs\\ if you want them",
    "WX here: 12C, wind SW 15 km/h, rain later",
    "73 de G4ABC, off to the shack",
    "Anyone tried the {braces} bug?  \"}\" in text used to break it",
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one text, split to end the escape
    "Gr\xc3\xbc\xc3\x9f"
    "e aus K\xc3\xb6ln!",
    "col1\tcol2\ttab separated",
    "Path was G4ABC-7 > N0DE > M0PQR-4, 3 hops",
    "Backslash at the end \\",
    "ok",
    "Will be on the net tonight at 2000, same QRG as usual. Bring the new "
    "member up to speed on the NODES table, please; the quality figures "
    "for N0VAAR still look too high to me.",
};

constexpr std::string_view BEACONS[] = {
    "N0DE Korvane node IO91WM - ports 1 (144.950) and 2 (AXUDP) - connect PELNOD",
    "G4ABC-7 BBS: 3 new messages for G7MNO",
    "G8XYZ-2 node test beacon, please report \"heard\" on 144.950",
};

constexpr std::string_view DISCONNECT_REASONS[] = {"disconnected", "timeout", "busy"};
constexpr std::string_view LINK_DOWN_REASONS[] = {"retried out", "disconnected", "idle"};

std::string cct_text(int index, int id) {
  return format_text("%02X%02X", index & 0xFF, id & 0xFF);
}

std::string iso_time(int64_t seconds) {
  const std::time_t t = seconds;
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string ip_address(int host) {
  return format_text("44.131.%d.%d", 10 + host / 250, host % 250 + 1);
}

}  // namespace

// Every kind of event. The opening plays each once, in this order, so that
// even a short run holds every kind of report; after it, kinds are drawn by
// weight.
constexpr TrafficGenerator::EventKind TrafficGenerator::EVENT_KINDS[] = {
    {"node up", 0, [](TrafficGenerator& g) { g.node_report("NodeUpEvent", {}); }},
    {"link up", 2, [](TrafficGenerator& g) { g.link_up_any(); }},
    {"NODES broadcast", 3, [](TrafficGenerator& g) { g.nodes_broadcast(); }},
    {"circuit up", 4, [](TrafficGenerator& g) { g.new_circuit(); }},
    {"chat", 30, [](TrafficGenerator& g) { g.info(); }},
    {"RR", 12, [](TrafficGenerator& g) { g.supervisory("RR"); }},
    {"beacon", 4, [](TrafficGenerator& g) { g.beacon(); }},
    {"INP3 unicast", 2, [](TrafficGenerator& g) { g.inp3(); }},
    {"L3RTT probe", 4, [](TrafficGenerator& g) { g.l3rtt(); }},
    {"routing poll", 2, [](TrafficGenerator& g) { g.poll(); }},
    {"IP", 6, [](TrafficGenerator& g) { g.ip(); }},
    {"ARP", 3, [](TrafficGenerator& g) { g.arp(); }},
    {"L3 trace", 5, [](TrafficGenerator& g) { g.l3trace(); }},
    {"RNR", 2, [](TrafficGenerator& g) { g.supervisory("RNR"); }},
    {"REJ", 2, [](TrafficGenerator& g) { g.supervisory("REJ"); }},
    {"link status", 3, [](TrafficGenerator& g) { g.link_report("LinkStatus", g.up_link(), {}); }},
    {"circuit status", 2, [](TrafficGenerator& g) { g.circuit_status(); }},
    {"node status", 1, [](TrafficGenerator& g) { g.node_report("NodeStatus", {}); }},
    {"circuit down", 3, [](TrafficGenerator& g) { g.disconnect_any(); }},
    {"link down", 1, [](TrafficGenerator& g) { g.link_down(); }},
    {"node restart", 0, [](TrafficGenerator& g) { g.node_restart(); }},
};

uint64_t Rng::next() {
  state_ += 0x9E3779B97F4A7C15ULL;
  uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

TrafficGenerator::TrafficGenerator(uint64_t seed, int64_t step_ms, ReportClock clock)
    : rng_(seed),
      clock_(clock),
      step_ms_(step_ms),
      start_time_(BASE_TIME + static_cast<int64_t>(rng_.next() % 86400)),
      serial_(1000 + rng_.below(9000)),
      node_up_since_(start_time_) {
  // The seeded start is drawn either way, so that a seed plays the same
  // traffic on either clock.
  if (clock_ == ReportClock::wall) node_up_since_ = std::time(nullptr);
}

int64_t TrafficGenerator::now() const {
  if (clock_ == ReportClock::wall) return std::time(nullptr);
  return start_time_ + elapsed_ms_ / 1000;
}

void TrafficGenerator::queue(std::string object) {
  pending_.push_back(std::move(object));
}

std::string TrafficGenerator::next_datagram() {
  while (pending_.empty()) pick_event().play(*this);
  std::string datagram = std::move(pending_.front());
  pending_.pop_front();
  // Now and then the node packs the next report into the same datagram.
  while (rng_.chance(25)) {
    while (pending_.empty()) pick_event().play(*this);
    if (datagram.size() + pending_.front().size() > PACK_LIMIT) break;
    datagram += pending_.front();
    pending_.pop_front();
  }
  elapsed_ms_ += step_ms_;
  return datagram;
}

const TrafficGenerator::EventKind& TrafficGenerator::pick_event() {
  if (opening_position_ < std::size(EVENT_KINDS)) return EVENT_KINDS[opening_position_++];
  static constexpr int TOTAL_WEIGHT = [] {
    int total = 0;
    for (const EventKind& kind : EVENT_KINDS) total += kind.weight;
    return total;
  }();
  int draw = rng_.below(TOTAL_WEIGHT);
  for (const EventKind& kind : EVENT_KINDS) {
    if (draw < kind.weight) return kind;
    draw -= kind.weight;
  }
  return EVENT_KINDS[0];
}

int TrafficGenerator::up_link() {
  int up[std::size(NEIGHBOURS)];
  int count = 0;
  for (int n = 0; n < static_cast<int>(std::size(NEIGHBOURS)); ++n) {
    if (links_[n].up) up[count++] = n;
  }
  if (count > 0) return up[rng_.below(count)];
  const int neighbour = rng_.below(static_cast<int>(std::size(NEIGHBOURS)));
  link_up(neighbour);
  return neighbour;
}

void TrafficGenerator::link_up_any() {
  int down = -1;
  for (int n = 0; n < static_cast<int>(std::size(NEIGHBOURS)); ++n) {
    if (!links_[n].up) down = n;
  }
  if (down >= 0) link_up(down);
}

void TrafficGenerator::new_circuit() {
  // A busy node, not an ever-growing one: the oldest circuit ends first.
  if (circuits_.size() >= MAX_CIRCUITS) disconnect(0, "idle");
  connect();
}

void TrafficGenerator::circuit_status() {
  if (circuits_.empty()) connect();
  circuit_report("CircuitStatus", circuits_[rng_.below(static_cast<int>(circuits_.size()))], {});
}

void TrafficGenerator::disconnect_any() {
  if (circuits_.empty()) connect();
  const auto index = static_cast<size_t>(rng_.below(static_cast<int>(circuits_.size())));
  disconnect(index,
             DISCONNECT_REASONS[rng_.below(static_cast<int>(std::size(DISCONNECT_REASONS)))]);
}

void TrafficGenerator::node_restart() {
  node_report("NodeDownEvent", "restart");
  // A restarted node has no links or circuits until they are made anew.
  links_ = {};
  circuits_.clear();
  node_up_since_ = now();
  node_report("NodeUpEvent", {});
}

namespace {

// The members every report starts with.
JsonObject report(std::string_view type, int64_t time, int64_t& serial) {
  JsonObject object;
  object.str("@type", type).str("reportFrom", NODE_CALL).num("time", time).num("serial", serial++);
  return object;
}

// An L2Trace report up to its AX.25 addresses and frame type.
JsonObject l2_frame(int64_t time, int64_t& serial, int port, bool sent, std::string_view srce,
                    std::string_view dest, std::string_view l2_type) {
  JsonObject object = report("L2Trace", time, serial);
  object.str("port", std::to_string(port))
      .str("dirn", sent ? "sent" : "rcvd")
      .boolean("isRF", port == RF_PORT)
      .str("srce", srce)
      .str("dest", dest)
      .str("l2Type", l2_type);
  return object;
}

}  // namespace

// An I frame carrying NET/ROM up to its network header: numbered from the
// link's AX.25 state, which it advances, and counted in the link's statistics.
JsonObject TrafficGenerator::netrom_frame(const NetRomFrame& frame) {
  const Neighbour& n = NEIGHBOURS[frame.neighbour];
  Link& link = links_[frame.neighbour];
  const bool sent = frame.sent;
  JsonObject object = l2_frame(now(), serial_, n.port, sent, sent ? NODE_CALL : n.node,
                               sent ? n.node : NODE_CALL, "I");
  object.str("cr", "C");
  if (frame.poll) object.str("pf", "P");
  object.num("rseq", link.vr).num("tseq", link.vs);
  int& next_sequence = sent ? link.vs : link.vr;
  next_sequence = (next_sequence + 1) % 8;
  (sent ? link.frames_sent : link.frames_rcvd) += 1;
  (sent ? link.bytes_sent : link.bytes_rcvd) += frame.ilen;
  object.num("ilen", frame.ilen)
      .str("pid", "CF")
      .str("ptcl", "NET/ROM")
      .str("l3Type", frame.l3_type);
  if (frame.l3_type == "NetRom") {
    object.str("l3src", sent ? NODE_CALL : n.node)
        .str("l3dst", !frame.l3dst.empty() ? frame.l3dst
                      : sent               ? n.node
                                           : NODE_CALL)
        .num("ttl", frame.ttl);
  }
  return object;
}

void TrafficGenerator::node_report(std::string_view type, std::string_view reason) {
  JsonObject object = report(type, now(), serial_);
  object.str("nodeCall", NODE_CALL)
      .str("nodeAlias", NODE_ALIAS)
      .str("locator", NODE_LOCATOR)
      .str("software", NODE_SOFTWARE)
      .str("version", NODE_VERSION);
  if (type != "NodeUpEvent") {
    int links_in = 0;
    int links_out = 0;
    for (const Link& link : links_) {
      if (link.up) ++(link.outgoing ? links_out : links_in);
    }
    int circuits_out = 0;
    for (const Circuit& circuit : circuits_) circuits_out += circuit.outgoing ? 1 : 0;
    object.num("uptimeSecs", now() - node_up_since_);
    if (!reason.empty()) object.str("reason", reason);
    object.num("linksIn", links_in)
        .num("linksOut", links_out)
        .num("cctsIn", static_cast<int64_t>(circuits_.size()) - circuits_out)
        .num("cctsOut", circuits_out)
        .num("l3Rlyd", l3_relayed_);
  }
  queue(object.text());
}

void TrafficGenerator::link_up(int neighbour) {
  Link& link = links_[neighbour];
  link = Link{};
  link.up = true;
  link.outgoing = rng_.chance(60);
  link.id = next_id_++;
  link.up_since = now();
  const Neighbour& n = NEIGHBOURS[neighbour];
  const bool sent = link.outgoing;
  queue(l2_frame(now(), serial_, n.port, sent, sent ? NODE_CALL : n.node, sent ? n.node : NODE_CALL,
                 "SABM")
            .str("cr", "C")
            .str("pf", "P")
            .text());
  queue(l2_frame(now(), serial_, n.port, !sent, sent ? n.node : NODE_CALL,
                 sent ? NODE_CALL : n.node, "UA")
            .str("cr", "R")
            .str("pf", "F")
            .text());
  link_report("LinkUpEvent", neighbour, {});
}

void TrafficGenerator::link_report(std::string_view type, int neighbour, std::string_view reason) {
  const Link& link = links_[neighbour];
  const Neighbour& n = NEIGHBOURS[neighbour];
  JsonObject object = report(type, now(), serial_);
  object.str("node", NODE_CALL)
      .str("port", std::to_string(n.port))
      .str("local", NODE_CALL)
      .str("remote", n.node)
      .str("direction", link.outgoing ? "outgoing" : "incoming")
      .num("id", link.id)
      .boolean("isRF", n.port == RF_PORT);
  if (type != "LinkUpEvent") {
    const int queued = rng_.below(3);
    object.num("upForSecs", now() - link.up_since)
        .num("frmsSent", link.frames_sent)
        .num("frmsResent", link.frames_resent)
        .num("frmsRcvd", link.frames_rcvd)
        .num("bytesSent", link.bytes_sent)
        .num("bytesRcvd", link.bytes_rcvd)
        .num("L2RttMs", n.port == RF_PORT ? 900 + rng_.below(2500) : 20 + rng_.below(80))
        .num("frmsQueued", queued)
        .num("frmsQdPeak", queued + rng_.below(5))
        .num("frmQMax", 7)
        .num("bpsTxMean", n.port == RF_PORT ? 40 + rng_.below(80) : 200 + rng_.below(800))
        .num("bpsRxMean", n.port == RF_PORT ? 40 + rng_.below(80) : 200 + rng_.below(800));
    if (!reason.empty()) object.str("reason", reason);
  }
  queue(object.text());
}

void TrafficGenerator::circuit_report(std::string_view type, const Circuit& circuit,
                                      std::string_view reason) {
  const Neighbour& n = NEIGHBOURS[circuit.neighbour];
  JsonObject object = report(type, now(), serial_);
  object.str("node", NODE_CALL)
      .str("local", std::string(LOCAL_USERS[circuit.user]) + "@" + std::string(NODE_CALL))
      .str("remote", std::string(n.user) + "@" + std::string(n.node))
      .str("direction", circuit.outgoing ? "outgoing" : "incoming")
      .num("service", circuit.id % 3 == 0 ? 8 : 0)
      .num("id", circuit.id);
  if (type != "CircuitUpEvent") {
    object.num("upForSecs", now() - circuit.up_since)
        .num("segsSent", circuit.segs_sent)
        .num("segsResent", circuit.segs_resent)
        .num("segsRcvd", circuit.segs_rcvd)
        .num("segsQueued", rng_.below(2))
        .num("bytesSent", circuit.bytes_sent)
        .num("bytesRcvd", circuit.bytes_rcvd);
    if (!reason.empty()) object.str("reason", reason);
  }
  queue(object.text());
}

void TrafficGenerator::nodes_broadcast() {
  const bool sent = rng_.chance(50);
  const int from = rng_.below(static_cast<int>(std::size(NEIGHBOURS)));
  const Neighbour& n = NEIGHBOURS[from];
  const int port = sent ? 1 + rng_.below(2) : n.port;
  std::string entries = "[";
  for (const NodesEntry& entry : DESTINATIONS) {
    if (!sent && entry.call == n.node) continue;
    const std::string_view via = sent ? NEIGHBOURS[rng_.below(3)].node : n.node;
    const int quality = std::max(1, entry.quality - rng_.below(20));
    if (entries.size() > 1) entries += ',';
    entries += JsonObject()
                   .str("call", entry.call)
                   .str("alias", entry.alias)
                   .str("via", via)
                   .num("qual", quality)
                   .text();
  }
  entries += ']';
  const int count = sent ? static_cast<int>(std::size(DESTINATIONS))
                         : static_cast<int>(std::size(DESTINATIONS)) - 1;
  queue(l2_frame(now(), serial_, port, sent, sent ? NODE_CALL : n.node, "NODES", "UI")
            .str("cr", "C")
            .num("ilen", 7 + 21 * count)
            .str("pid", "CF")
            .str("ptcl", "NET/ROM")
            .str("l3Type", "Routing info")
            .str("type", "NODES")
            .str("fromAlias", sent ? NODE_ALIAS : n.alias)
            .raw("nodes", entries)
            .text());
}

void TrafficGenerator::connect() {
  const int neighbour = up_link();
  const Neighbour& n = NEIGHBOURS[neighbour];
  Circuit circuit;
  circuit.neighbour = neighbour;
  circuit.user = rng_.below(static_cast<int>(std::size(LOCAL_USERS)));
  circuit.outgoing = rng_.chance(50);
  circuit.id = next_id_++;
  circuit.my_cct = cct_text(static_cast<int>(circuits_.size()) + 1, circuit.id);
  // One draw per argument list: the order in which a compiler evaluates
  // arguments is unspecified, and a seed gives the same traffic everywhere.
  const int their_index = rng_.below(20);
  circuit.their_cct = cct_text(their_index, rng_.below(256));
  circuit.up_since = now();
  const bool out = circuit.outgoing;
  const std::string_view src_user = out ? LOCAL_USERS[circuit.user] : n.user;
  const std::string_view src_node = out ? NODE_CALL : n.node;
  auto transport_frame = [&](bool sent, int ilen) {
    const int ttl = sent ? 25 : 25 - rng_.below(3);
    return netrom_frame({.neighbour = neighbour, .sent = sent, .ilen = ilen, .ttl = ttl});
  };
  JsonObject request = transport_frame(out, 36);
  request.str("l4type", "CONN REQ")
      .str("toCct", "0000")
      .str("fromCct", out ? circuit.my_cct : circuit.their_cct)
      .num("window", 4)
      .str("srcUser", src_user)
      .str("srcNode", src_node);
  if (rng_.chance(40)) request.num("service", 8);
  request.num("l4t1", 180);
  queue(request.text());
  JsonObject ack = transport_frame(!out, 20);
  ack.str("l4type", "CONN ACK")
      .str("toCct", out ? circuit.my_cct : circuit.their_cct)
      .str("fromCct", out ? circuit.their_cct : circuit.my_cct)
      .num("window", 4);
  queue(ack.text());
  circuits_.push_back(circuit);
  circuit_report("CircuitUpEvent", circuit, {});
}

void TrafficGenerator::info() {
  if (circuits_.empty()) connect();
  Circuit& circuit = circuits_[rng_.below(static_cast<int>(circuits_.size()))];
  const bool sent = rng_.chance(50);
  const std::string_view text = CHAT[rng_.below(static_cast<int>(std::size(CHAT)))];
  const int paylen = static_cast<int>(text.size());
  const bool poll = rng_.chance(15);
  if (sent && rng_.chance(5)) ++links_[circuit.neighbour].frames_resent;
  (sent ? circuit.segs_sent : circuit.segs_rcvd) += 1;
  (sent ? circuit.bytes_sent : circuit.bytes_rcvd) += paylen;
  const int ttl = sent ? 25 : 23 + rng_.below(3);
  JsonObject frame = netrom_frame({.neighbour = circuit.neighbour,
                                   .sent = sent,
                                   .ilen = paylen + 20,
                                   .ttl = ttl,
                                   .poll = poll});
  frame.str("l4type", "INFO")
      .str("toCct", sent ? circuit.their_cct : circuit.my_cct)
      .num("txSeq", sent ? circuit.tx : circuit.rx)
      .num("rxSeq", sent ? circuit.rx : circuit.tx)
      .num("paylen", paylen)
      .str("text", text);
  if (sent) {
    circuit.tx = (circuit.tx + 1) % 256;
  } else {
    circuit.rx = (circuit.rx + 1) % 256;
  }
  if (text.size() > 100) frame.boolean("moreFlag", true);
  if (rng_.chance(5)) frame.boolean("chokeFlag", true);
  queue(frame.text());
  ++l3_relayed_;
}

void TrafficGenerator::supervisory(std::string_view l2_type) {
  const int neighbour = up_link();
  const Neighbour& n = NEIGHBOURS[neighbour];
  Link& link = links_[neighbour];
  const bool sent = rng_.chance(50);
  const bool command = rng_.chance(30);
  JsonObject frame = l2_frame(now(), serial_, n.port, sent, sent ? NODE_CALL : n.node,
                              sent ? n.node : NODE_CALL, l2_type);
  frame.str("cr", command ? "C" : "R");
  if (command || rng_.chance(20)) frame.str("pf", command ? "P" : "F");
  frame.num("rseq", sent ? link.vr : link.vs);
  (sent ? link.frames_sent : link.frames_rcvd) += 1;
  queue(frame.text());
}

void TrafficGenerator::beacon() {
  const int which = rng_.below(static_cast<int>(std::size(BEACONS)));
  const bool sent = which == 0;
  const Neighbour& n = NEIGHBOURS[which == 1 ? 0 : 1];
  const int port = sent ? 1 + rng_.below(2) : n.port;
  const std::string_view text = BEACONS[which];
  queue(l2_frame(now(), serial_, port, sent, sent ? NODE_CALL : n.node,
                 rng_.chance(50) ? "ID" : "BEACON", "UI")
            .str("cr", "C")
            .num("ilen", static_cast<int64_t>(text.size()))
            .str("pid", "F0")
            .str("ptcl", "DATA")
            .str("text", text)
            .text());
}

void TrafficGenerator::inp3() {
  const int neighbour = up_link();
  const bool sent = rng_.chance(50);
  const int first = rng_.below(static_cast<int>(std::size(INP3_NODES)));
  const int count = 3 + rng_.below(2);
  std::string entries = "[";
  for (int i = 0; i < count; ++i) {
    const Inp3Node& node = INP3_NODES[(first + i) % std::size(INP3_NODES)];
    JsonObject entry;
    entry.str("call", node.call)
        .num("hops", 1 + rng_.below(5))
        .num("tt", 100 + rng_.below(3000))
        .str("alias", node.alias)
        .raw("latitude", format_text("%.4f", node.latitude))
        .raw("longitude", format_text("%.4f", node.longitude))
        .str("software", node.software)
        .str("version", node.version)
        .boolean("isNode", true);
    if (node.bbs) entry.boolean("isBBS", true);
    if (node.chat) entry.boolean("isRTChat", true);
    // Nodes give their time either as Unix seconds or as ISO text.
    const int64_t stamp = now() - rng_.below(600);
    if (rng_.chance(50)) {
      entry.num("timestamp", stamp);
    } else {
      entry.str("timestamp", iso_time(stamp));
    }
    entry.num("tzMins", node.tz_mins);
    if (entries.size() > 1) entries += ',';
    entries += entry.text();
  }
  entries += ']';
  queue(netrom_frame({.neighbour = neighbour,
                      .sent = sent,
                      .ilen = 20 + 40 * count,
                      .l3_type = "Routing info"})
            .str("type", "INP3")
            .raw("nodes", entries)
            .text());
}

void TrafficGenerator::l3rtt() {
  const int neighbour = up_link();
  const bool sent = rng_.chance(50);
  // The probe carries the sender's clock ticks (10 ms) four times over.
  const auto ticks = static_cast<long long>(elapsed_ms_ / 10 % 100000000);
  const std::string payload =
      format_text("L3RTT: %10lld %10lld %10lld %10lld LEVEL3_V2.1 %s v%s $M%d $N", ticks, ticks,
                  ticks, ticks, std::string(sent ? NODE_SOFTWARE : "Brackon").c_str(),
                  std::string(sent ? NODE_VERSION : "318k").c_str(), 60 + rng_.below(40));
  queue(netrom_frame({.neighbour = neighbour,
                      .sent = sent,
                      .ilen = static_cast<int64_t>(payload.size()) + 20,
                      .l3dst = "L3RTT",
                      .ttl = 2})
            .num("paylen", static_cast<int64_t>(payload.size()))
            .str("payload", payload)
            .text());
}

void TrafficGenerator::poll() {
  const bool sent = rng_.chance(50);
  const Neighbour& n = NEIGHBOURS[rng_.below(static_cast<int>(std::size(NEIGHBOURS)))];
  queue(l2_frame(now(), serial_, n.port, sent, sent ? NODE_CALL : n.node, "NODES", "UI")
            .str("cr", "C")
            .num("ilen", 7)
            .str("pid", "CF")
            .str("ptcl", "NET/ROM")
            .str("l3Type", "Routing poll")
            .text());
}

void TrafficGenerator::ip() {
  struct IpProtocol {
    int number;
    std::string_view name;
  };
  static constexpr IpProtocol PROTOCOLS[] = {{1, "ICMP"}, {6, "TCP"}, {17, "UDP"}};
  const IpProtocol& protocol = PROTOCOLS[rng_.below(3)];
  const bool sent = rng_.chance(50);
  const Neighbour& n = NEIGHBOURS[rng_.below(static_cast<int>(std::size(NEIGHBOURS)))];
  const int length = protocol.number == 1 ? 84 : 40 + rng_.below(200);
  const std::string here = ip_address(0);
  const std::string there = ip_address(1 + rng_.below(40));
  queue(l2_frame(now(), serial_, n.port, sent, sent ? NODE_CALL : n.node, sent ? n.node : NODE_CALL,
                 "UI")
            .str("cr", "C")
            .num("ilen", length)
            .str("pid", "CC")
            .str("ptcl", "IP")
            .str("ipFrom", sent ? here : there)
            .str("ipTo", sent ? there : here)
            .num("ipLen", length)
            .num("ipTTL", sent ? 64 : 60 + rng_.below(4))
            .num("ipID", rng_.below(65536))
            .num("ipPtcl", protocol.number)
            .str("ipProto", protocol.name)
            .text());
}

void TrafficGenerator::arp() {
  const int neighbour = rng_.below(static_cast<int>(std::size(NEIGHBOURS)));
  const Neighbour& n = NEIGHBOURS[neighbour];
  const bool request = rng_.chance(50);
  const std::string here = ip_address(0);
  const std::string there = ip_address(1 + neighbour);
  JsonObject frame = l2_frame(now(), serial_, n.port, request, request ? NODE_CALL : n.node,
                              request ? "QST" : NODE_CALL, "UI");
  frame.str("cr", "C")
      .num("ilen", 30)
      .str("pid", "CD")
      .str("ptcl", "ARP")
      .str("arpOp", request ? "REQUEST" : "REPLY")
      .str("arpHwType", "AX25")
      .num("arpHwLen", 7)
      .str("arpPtcl", "IP")
      .str("arpSndAddr", request ? here : there)
      .str("arpTgtAddr", request ? there : here)
      .str("arpSndHw", request ? NODE_CALL : n.node);
  if (!request) frame.str("arpTgtHw", NODE_CALL);
  queue(frame.text());
}

void TrafficGenerator::l3trace() {
  if (circuits_.empty()) connect();
  const Circuit& circuit = circuits_[rng_.below(static_cast<int>(circuits_.size()))];
  const Neighbour& n = NEIGHBOURS[circuit.neighbour];
  const bool sent = rng_.chance(50);
  JsonObject object = report("L3Trace", now(), serial_);
  object.str("port", std::to_string(n.port))
      .str("dirn", sent ? "sent" : "rcvd")
      .boolean("isRF", n.port == RF_PORT)
      .str("l3Type", "NetRom")
      .str("l3src", sent ? NODE_CALL : n.node)
      .str("l3dst", sent ? n.node : NODE_CALL)
      .num("ttl", sent ? 25 : 24);
  if (rng_.chance(60)) {
    const std::string_view text = CHAT[rng_.below(static_cast<int>(std::size(CHAT)))];
    object.num("ilen", static_cast<int64_t>(text.size()) + 20)
        .str("l4type", "INFO")
        .str("toCct", sent ? circuit.their_cct : circuit.my_cct)
        .num("txSeq", sent ? circuit.tx : circuit.rx)
        .num("rxSeq", sent ? circuit.rx : circuit.tx)
        .num("paylen", static_cast<int64_t>(text.size()))
        .str("text", text);
  } else {
    object.num("ilen", 20)
        .str("l4type", "INFO ACK")
        .str("toCct", sent ? circuit.their_cct : circuit.my_cct)
        .num("rxSeq", sent ? circuit.rx : circuit.tx);
  }
  queue(object.text());
  ++l3_relayed_;
}

void TrafficGenerator::disconnect(size_t index, std::string_view reason) {
  const Circuit circuit = circuits_[index];
  circuits_.erase(circuits_.begin() + static_cast<std::ptrdiff_t>(index));
  if (links_[circuit.neighbour].up) {
    const bool sent = rng_.chance(50);
    for (const bool request : {true, false}) {
      const bool from_node = request == sent;
      queue(netrom_frame({.neighbour = circuit.neighbour, .sent = from_node, .ilen = 20})
                .str("l4type", request ? "DREQ" : "DACK")
                .str("toCct", from_node ? circuit.their_cct : circuit.my_cct)
                .text());
    }
  }
  circuit_report("CircuitDownEvent", circuit, reason);
}

void TrafficGenerator::link_down() {
  const int neighbour = up_link();
  // Circuits through a link that fails go down with it.
  for (size_t i = circuits_.size(); i-- > 0;) {
    if (circuits_[i].neighbour != neighbour) continue;
    const Circuit circuit = circuits_[i];
    circuits_.erase(circuits_.begin() + static_cast<std::ptrdiff_t>(i));
    circuit_report("CircuitDownEvent", circuit, "link failure");
  }
  links_[neighbour].up = false;
  link_report("LinkDownEvent", neighbour,
              LINK_DOWN_REASONS[rng_.below(static_cast<int>(std::size(LINK_DOWN_REASONS)))]);
}

}  // namespace sim
