// The counting rules: stations, links and routes from frame and link reports.
#include "heard/count.h"

#include <array>
#include <ctime>

#include "app/settings.h"
#include "intake/array_lookup.h"
#include "intake/field_lookup.h"
#include "intake/field_scan.h"
#include "intake/numbers.h"

namespace {

constexpr int CALL_LIMIT = static_cast<int>(HEARD_CALL_LENGTH);
constexpr int ALIAS_LIMIT = static_cast<int>(HEARD_ALIAS_LENGTH);
constexpr int SHORT_LIMIT = 15;  // port, types, numbers
constexpr int TIME_LIMIT = 20;
constexpr int ENTRY_LIMIT = 1023;

// What the tables read of a report, each found in one pass over its text
// (a scan finds every key where a Field would). Values are cut to the
// limits a Field of each would have. The array's key is in the node's own
// lower case, found exactly: a loose search would stop at the value
// "NODES" of the broadcast's destination. The frame's own fields come
// before its routing entries, which are read one by one.
enum FrameKey : std::size_t {
  F_PORT, F_SRCE, F_DEST, F_L2TYPE, F_DIRN, F_ISRF, F_PTCL, F_ILEN, F_TIME, F_TSEQ, F_RSEQ, F_L3TYPE
};
constexpr ScanKeys<13> FRAME_KEYS(std::array<ScanKey, 13>{{
    {"port", SHORT_LIMIT}, {"srce", CALL_LIMIT}, {"dest", CALL_LIMIT}, {"l2Type", SHORT_LIMIT},
    {"dirn", SHORT_LIMIT}, {"isRF", SHORT_LIMIT}, {"ptcl", SHORT_LIMIT}, {"ilen", SHORT_LIMIT},
    {"time", TIME_LIMIT},  {"tseq", SHORT_LIMIT}, {"rseq", SHORT_LIMIT}, {"l3Type", SHORT_LIMIT},
    {"nodes", SHORT_LIMIT, true, true},
}});

enum RoutingKey : std::size_t { R_TYPE, R_NODES };
constexpr ScanKeys<2> ROUTING_KEYS(std::array<ScanKey, 2>{{
    {"type", SHORT_LIMIT}, {"nodes", SHORT_LIMIT, true},
}});

// An entry's keys by kind of advertisement: E_QUAL and E_VIA of a NODES
// entry stand where E_HOPS and E_TT of an INP3 one do.
enum EntryKey : std::size_t { E_CALL, E_ALIAS, E_QUAL, E_VIA, E_HOPS = E_QUAL, E_TT = E_VIA };
constexpr ScanKeys<4> NODES_ENTRY_KEYS(std::array<ScanKey, 4>{{
    {"call", CALL_LIMIT}, {"alias", ALIAS_LIMIT}, {"qual", SHORT_LIMIT}, {"via", CALL_LIMIT},
}});
constexpr ScanKeys<4> INP3_ENTRY_KEYS(std::array<ScanKey, 4>{{
    {"call", CALL_LIMIT}, {"alias", ALIAS_LIMIT}, {"hops", SHORT_LIMIT}, {"tt", SHORT_LIMIT},
}});

enum LinkKey : std::size_t { L_PORT, L_LOCAL, L_REMOTE, L_TIME };
constexpr ScanKeys<4> LINK_KEYS(std::array<ScanKey, 4>{{
    {"port", SHORT_LIMIT}, {"local", CALL_LIMIT}, {"remote", CALL_LIMIT}, {"time", TIME_LIMIT},
}});

// Modulo 8 until a SABME or a sequence number above 7 says 128.
constexpr int MODULUS_8 = 8;
constexpr int MODULUS_128 = 128;

// An INP3 destination this far away, or this slow, is withdrawn.
constexpr int INP3_WITHDRAWN_TRIP_TIME = 60000;
constexpr int INP3_MOST_HOPS = 30;

using StationCount = std::uint64_t HeardStation::*;
using SideCount = std::uint64_t HeardLinkSide::*;

// What a frame does to its link's sequence count: nothing, or start it
// afresh, at the modulus it names or at the one the link had.
enum class Restart : std::uint8_t { none, same_modulus, modulo_8, modulo_128 };

struct FrameType {
  std::string_view name;
  StationCount station_count;  // its class, counted for the station heard
  SideCount side_count;        // null: no part of a link
  Restart restart;
  bool numbered;  // carries N(R)
  // Whether the frame can carry an information field, and so `ilen` and
  // `ptcl`: the other types' absent keys are not looked for.
  bool info;
};

// Types are compared without case; any other type is unnumbered, may carry
// information and is no part of a link (XID, TEST). A link set up again
// numbers its I frames from 0 again.
constexpr std::array<FrameType, 12> FRAME_TYPES = {{
    {"I", &HeardStation::heard_i, &HeardLinkSide::i_frames, Restart::none, true, true},
    {"RR", &HeardStation::heard_s, &HeardLinkSide::rr, Restart::none, true, false},
    {"RNR", &HeardStation::heard_s, &HeardLinkSide::rnr, Restart::none, true, false},
    {"REJ", &HeardStation::heard_s, &HeardLinkSide::rej, Restart::none, true, false},
    {"SREJ", &HeardStation::heard_s, &HeardLinkSide::srej, Restart::none, true, false},
    {"SABM", &HeardStation::heard_u, &HeardLinkSide::sabm, Restart::modulo_8, false, false},
    {"SABME", &HeardStation::heard_u, &HeardLinkSide::sabme, Restart::modulo_128, false, false},
    {"UA", &HeardStation::heard_u, &HeardLinkSide::ua, Restart::none, false, false},
    {"DISC", &HeardStation::heard_u, &HeardLinkSide::disc, Restart::same_modulus, false, false},
    {"DM", &HeardStation::heard_u, &HeardLinkSide::dm, Restart::same_modulus, false, false},
    {"FRMR", &HeardStation::heard_u, &HeardLinkSide::frmr, Restart::none, false, true},
    {"UI", &HeardStation::heard_ui, nullptr, Restart::none, false, true},
}};

constexpr FrameType OTHER_TYPE = {"", &HeardStation::heard_u, nullptr, Restart::none, false, true};

struct Protocol {
  std::string_view name;
  std::uint32_t bit;
};

constexpr std::array<Protocol, 4> PROTOCOLS = {{
    {"NET/ROM", PTCL_NETROM},
    {"IP", PTCL_IP},
    {"ARP", PTCL_ARP},
    {"DATA", PTCL_DATA},
}};

const FrameType& frame_type(std::string_view name) {
  for (const FrameType& type : FRAME_TYPES)
    if (equal_ignoring_case(type.name, name)) return type;
  return OTHER_TYPE;
}

std::uint32_t protocol_bit(std::string_view name) {
  if (name.empty()) return 0;
  for (const Protocol& protocol : PROTOCOLS)
    if (equal_ignoring_case(protocol.name, name)) return protocol.bit;
  return PTCL_OTHER;
}

// Sequence numbers as sent: 0 when absent, never negative.
template <std::size_t N>
int sequence_number(const FieldScan<N>& scan, std::size_t key) {
  const int number = scan.has(key) ? read_int(scan.text(key)) : 0;
  return number < 0 ? 0 : number;
}

template <std::size_t N>
std::uint64_t count_value(const FieldScan<N>& scan, std::size_t key) {
  if (!scan.has(key)) return 0;
  const std::int64_t number = read_int64(scan.text(key));
  return number < 0 ? 0 : static_cast<std::uint64_t>(number);
}

// The report's own time; the clock's for a report without one.
template <std::size_t N>
std::int64_t report_time(const FieldScan<N>& scan, std::size_t key) {
  return scan.has(key) ? read_int64(scan.text(key)) : std::time(nullptr);
}

bool port_watched(std::int32_t port) {
  return settings.port_filter == 0 || port == settings.port_filter;
}

void note_time(std::int64_t& first, std::int64_t& last, std::int64_t at, bool made) {
  if (made || at < first) first = at;
  if (made || at > last) last = at;
}

void note_period(HeardPeriod& period, std::int64_t at) {
  note_time(period.first, period.last, at, period.frames == 0);
  ++period.frames;
}

// The fields of a frame report that the tables use.
struct Frame {
  std::int32_t port = 0;
  std::string_view srce;
  std::string_view dest;
  const FrameType* type = &OTHER_TYPE;
  bool sent = false;  // by the node (`dirn` s); otherwise heard
  HeardRadio radio = HeardRadio::unknown;
  std::uint32_t protocol = 0;
  std::uint64_t ilen = 0;
  std::int64_t at = 0;
};

void count_station(StationTable& stations, const Frame& frame) {
  // A UI frame's destination is an address such as NODES or ID, not a
  // station: the node's UI frames make no entry.
  if (frame.sent && frame.type->station_count == &HeardStation::heard_ui) return;
  HeardStation probe;
  probe.port = frame.port;
  heard_set_text(probe.call, frame.sent ? frame.dest : frame.srce);
  bool made = false;
  HeardStation& station = stations.touch(probe, made);
  note_time(station.first, station.last, frame.at, made);
  if (frame.sent) {
    ++station.sent;
    return;
  }
  ++station.heard;
  ++(station.*frame.type->station_count);
  station.info_bytes += frame.ilen;
  station.protocols |= frame.protocol;
  if (frame.radio != HeardRadio::unknown) station.radio = frame.radio;
  heard_set_text(station.last_dest, frame.dest);
}

void restart_sequences(HeardLink& link) {
  for (HeardLinkSide& side : link.sides) side.sequence = {};
}

void count_link(LinkTable& links, const Frame& frame, const FieldScan<13>& scan) {
  const FrameType& type = *frame.type;
  if (type.side_count == nullptr) return;
  HeardLink probe;
  probe.port = frame.port;
  heard_set_text(probe.call_a, frame.srce);
  heard_set_text(probe.call_b, frame.dest);
  bool made = false;
  HeardLink& link = links.touch(probe, made);
  note_time(link.first, link.last, frame.at, made);
  const bool forward = equal_ignoring_case(heard_text(link.call_a), frame.srce);
  HeardLinkSide& side = link.sides[forward ? 0 : 1];
  ++(side.*type.side_count);

  // N(S) in I frames, N(R) in I and supervisory frames; N(R) only tells
  // the modulus, so it is not looked for once that is 128.
  const bool info = type.side_count == &HeardLinkSide::i_frames;
  const bool has_ns = info && scan.has(F_TSEQ);
  const bool has_nr = type.numbered && link.modulus == MODULUS_8 && scan.has(F_RSEQ);
  const int ns = has_ns ? sequence_number(scan, F_TSEQ) : 0;
  const int nr = has_nr ? sequence_number(scan, F_RSEQ) : 0;
  // A number above 7 says modulo 128; the count starts again there, since
  // the numbers before were taken modulo 8.
  if (link.modulus == MODULUS_8 && ((has_ns && ns >= MODULUS_8) || (has_nr && nr >= MODULUS_8))) {
    link.modulus = MODULUS_128;
    restart_sequences(link);
  }
  if (info) {
    side.i_bytes += frame.ilen;
    if (has_ns && heard_is_resent(side.sequence, ns, link.modulus)) ++side.resent;
  }
  if (type.restart == Restart::none) return;
  if (type.restart == Restart::modulo_8) link.modulus = MODULUS_8;
  if (type.restart == Restart::modulo_128) link.modulus = MODULUS_128;
  restart_sequences(link);
}

bool withdrawn(const HeardRoute& route) {
  if (route.source == RouteSource::nodes) return route.quality <= 0;
  return route.trip_time >= INP3_WITHDRAWN_TRIP_TIME || route.hops > INP3_MOST_HOPS;
}

// The change from the neighbour's previous advertisement to this one.
RouteChange route_change(const HeardRoute& before, const HeardRoute& now) {
  if (withdrawn(now)) return RouteChange::withdrawn;
  if (withdrawn(before)) return RouteChange::better;
  if (now.source == RouteSource::nodes) {
    if (now.quality == before.quality) return RouteChange::same;
    return now.quality > before.quality ? RouteChange::better : RouteChange::worse;
  }
  if (now.trip_time == before.trip_time) {
    if (now.hops == before.hops) return RouteChange::same;
    return now.hops < before.hops ? RouteChange::better : RouteChange::worse;
  }
  return now.trip_time < before.trip_time ? RouteChange::better : RouteChange::worse;
}

int entry_number(const FieldScan<4>& entry, std::size_t key) {
  return entry.has(key) ? read_int(entry.text(key)) : 0;
}

void count_route_entry(RouteTable& routes, const Frame& frame, RouteSource source,
                       std::string_view text) {
  const FieldScan entry(text, source == RouteSource::nodes ? NODES_ENTRY_KEYS : INP3_ENTRY_KEYS);
  const std::string_view call = entry.text(E_CALL);
  if (call.empty()) return;
  HeardRoute advert;
  advert.port = frame.port;
  heard_set_text(advert.dest, call);
  heard_set_text(advert.neighbour, frame.srce);
  advert.source = source;
  if (source == RouteSource::nodes) {
    advert.quality = entry_number(entry, E_QUAL);
  } else {
    advert.hops = entry_number(entry, E_HOPS);
    advert.trip_time = entry_number(entry, E_TT);
  }
  bool made = false;
  HeardRoute& route = routes.touch(advert, made);
  if (made) {
    route.change = withdrawn(route) ? RouteChange::withdrawn : RouteChange::fresh;
    route.first = frame.at;
    route.last = frame.at;
  } else {
    route.change = route_change(route, advert);
    route.quality = advert.quality;
    route.hops = advert.hops;
    route.trip_time = advert.trip_time;
    note_time(route.first, route.last, frame.at, false);
  }
  ++route.count;
  // The destination keeps the call as first advertised, and the alias and
  // `via` known when an advertisement leaves them out.
  if (!entry.text(E_ALIAS).empty()) heard_set_text(route.alias, entry.text(E_ALIAS));
  if (source == RouteSource::nodes && !entry.text(E_VIA).empty())
    heard_set_text(route.via, entry.text(E_VIA));
}

void count_routes(RouteTable& routes, const Frame& frame, std::string_view report) {
  // Only what neighbours advertise: the node's own broadcasts are no route.
  if (frame.sent) return;
  const FieldScan routing(report, ROUTING_KEYS);
  RouteSource source;
  if (routing.text(R_TYPE) == "NODES")
    source = RouteSource::nodes;
  else if (routing.text(R_TYPE) == "INP3")
    source = RouteSource::inp3;
  else
    return;
  if (!routing.has(R_NODES) || *routing.value_at(R_NODES) != '[') return;
  std::string_view entry;
  for (const char* at = next_object_in_place(routing.value_at(R_NODES), ENTRY_LIMIT, entry);
       at != nullptr; at = next_object_in_place(at, ENTRY_LIMIT, entry))
    count_route_entry(routes, frame, source, entry);
}

void count_frame(HeardTables& tables, std::string_view report) {
  const FieldScan scan(report, FRAME_KEYS);
  if (!scan.has(F_PORT) || !scan.has(F_SRCE) || !scan.has(F_DEST) || !scan.has(F_L2TYPE)) return;
  Frame frame;
  frame.port = read_int(scan.text(F_PORT));
  if (!port_watched(frame.port)) return;
  frame.srce = scan.text(F_SRCE);
  frame.dest = scan.text(F_DEST);
  frame.type = &frame_type(scan.text(F_L2TYPE));
  const std::string_view dirn = scan.text(F_DIRN);
  frame.sent = dirn.starts_with('s') || dirn.starts_with('S');
  const std::string_view is_rf = scan.text(F_ISRF);
  if (!frame.sent && !is_rf.empty())
    frame.radio = is_rf[0] == 't' || is_rf[0] == 'T' ? HeardRadio::radio : HeardRadio::wire;
  if (frame.type->info) {
    frame.protocol = protocol_bit(scan.text(F_PTCL));
    frame.ilen = count_value(scan, F_ILEN);
  }
  frame.at = report_time(scan, F_TIME);
  ++tables.reports_counted;
  note_period(tables.period, frame.at);
  count_station(tables.stations, frame);
  count_link(tables.links, frame, scan);
  if (frame.protocol == PTCL_NETROM && scan.text(F_L3TYPE) == "Routing info")
    count_routes(tables.routes, frame, report);
}

void count_link_report(HeardTables& tables, std::string_view report, bool up) {
  const FieldScan scan(report, LINK_KEYS);
  if (!scan.has(L_PORT) || !scan.has(L_LOCAL) || !scan.has(L_REMOTE)) return;
  HeardLink probe;
  probe.port = read_int(scan.text(L_PORT));
  if (!port_watched(probe.port)) return;
  heard_set_text(probe.call_a, scan.text(L_LOCAL));
  heard_set_text(probe.call_b, scan.text(L_REMOTE));
  ++tables.reports_counted;
  bool made = false;
  HeardLink& link = tables.links.touch(probe, made);
  note_time(link.first, link.last, report_time(scan, L_TIME), made);
  ++(up ? link.ups : link.downs);
}

}  // namespace

bool heard_is_resent(HeardSequence& sequence, int ns, int modulus) {
  ns %= modulus;
  if (sequence.seen) {
    // Any other number lies in the window below the next one: at most
    // modulus - 1 frames can be outstanding.
    if (ns != sequence.next) return true;
  }
  sequence.seen = true;
  sequence.next = static_cast<std::uint8_t>((ns + 1) % modulus);
  return false;
}

int heard_link_health(const HeardLink& link) {
  std::uint64_t i_frames = 0;
  std::uint64_t bad = 0;
  for (const HeardLinkSide& side : link.sides) {
    i_frames += side.i_frames;
    bad += side.rej + side.resent;
  }
  if (i_frames == 0) return -1;
  const std::uint64_t percent = bad * 100 / i_frames;
  return percent > 100000 ? 100000 : static_cast<int>(percent);
}

void heard_count(HeardTables& tables, std::string_view report, std::string_view type) {
  if (type == "L2Trace")
    count_frame(tables, report);
  else if (type == "LinkUpEvent")
    count_link_report(tables, report, true);
  else if (type == "LinkDownEvent")
    count_link_report(tables, report, false);
}
