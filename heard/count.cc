// The counting rules: stations, links and routes from frame and link reports.
#include "heard/count.h"

#include <array>
#include <cstring>
#include <ctime>

#include "app/settings.h"
#include "intake/array_lookup.h"
#include "intake/field.h"
#include "intake/field_lookup.h"
#include "intake/numbers.h"

namespace {

constexpr int CALL_LIMIT = static_cast<int>(HEARD_CALL_LENGTH);
constexpr int ALIAS_LIMIT = static_cast<int>(HEARD_ALIAS_LENGTH);
constexpr int SHORT_LIMIT = 15;  // port, types, numbers
constexpr int TIME_LIMIT = 20;
constexpr int ENTRY_LIMIT = 1023;

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
int sequence_number(const char* report, std::string_view key, bool& present) {
  Field<SHORT_LIMIT> value;
  present = value.read(report, key);
  const int number = present ? read_int(value.text()) : 0;
  return number < 0 ? 0 : number;
}

std::uint64_t count_value(const char* report, std::string_view key) {
  Field<SHORT_LIMIT> value;
  if (!value.read(report, key)) return 0;
  const std::int64_t number = read_int64(value.text());
  return number < 0 ? 0 : static_cast<std::uint64_t>(number);
}

// The report's own time; the clock's for a report without one.
std::int64_t report_time(const char* report) {
  Field<TIME_LIMIT> time;
  return time.read(report, "time") ? read_int64(time.text()) : std::time(nullptr);
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

void count_link(LinkTable& links, const Frame& frame, const char* report) {
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
  bool has_ns = false;
  bool has_nr = false;
  const int ns = info ? sequence_number(report, "tseq", has_ns) : 0;
  const int nr =
      type.numbered && link.modulus == MODULUS_8 ? sequence_number(report, "rseq", has_nr) : 0;
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

int entry_number(const char* entry, std::string_view key) {
  Field<SHORT_LIMIT> value;
  return value.read(entry, key) ? read_int(value.text()) : 0;
}

void count_route_entry(RouteTable& routes, const Frame& frame, RouteSource source,
                       const char* entry) {
  Field<CALL_LIMIT> call;
  if (!call.read(entry, "call") || call.empty()) return;
  HeardRoute advert;
  advert.port = frame.port;
  heard_set_text(advert.dest, call.text());
  heard_set_text(advert.neighbour, frame.srce);
  advert.source = source;
  Field<CALL_LIMIT> value;
  if (value.read(entry, "alias", ALIAS_LIMIT)) heard_set_text(advert.alias, value.text());
  if (source == RouteSource::nodes) {
    advert.quality = entry_number(entry, "qual");
    if (value.read(entry, "via")) heard_set_text(advert.via, value.text());
  } else {
    advert.hops = entry_number(entry, "hops");
    advert.trip_time = entry_number(entry, "tt");
  }
  bool made = false;
  HeardRoute& route = routes.touch(advert, made);
  const HeardRoute before = route;
  advert.change = made ? (withdrawn(advert) ? RouteChange::withdrawn : RouteChange::fresh)
                       : route_change(before, advert);
  advert.first = made ? frame.at : before.first;
  advert.last = made ? frame.at : before.last;
  note_time(advert.first, advert.last, frame.at, false);
  advert.count = before.count + 1;
  // The destination keeps the call as first advertised, and the alias and
  // `via` known when an advertisement leaves them out.
  if (!made) {
    advert.dest = before.dest;
    if (advert.alias[0] == '\0') advert.alias = before.alias;
    if (advert.via[0] == '\0') advert.via = before.via;
  }
  route = advert;
}

void count_routes(RouteTable& routes, const Frame& frame, const char* report) {
  // Only what neighbours advertise: the node's own broadcasts are no route.
  if (frame.sent) return;
  Field<SHORT_LIMIT> value;
  if (!value.read(report, "l3Type") || value.text() != "Routing info") return;
  if (!value.read(report, "type")) return;
  RouteSource source;
  if (value.text() == "NODES")
    source = RouteSource::nodes;
  else if (value.text() == "INP3")
    source = RouteSource::inp3;
  else
    return;
  // The key in the node's own lower case, found exactly: a loose search
  // would stop at the value "NODES" of the broadcast's destination.
  const char* key = std::strstr(report, "\"nodes\"");
  const char* array = key != nullptr ? find_array(key, "nodes") : nullptr;
  if (array == nullptr) return;
  std::array<char, ENTRY_LIMIT + 1> entry{};
  for (const char* at = next_object(array, entry.data(), ENTRY_LIMIT); at != nullptr;
       at = next_object(at, entry.data(), ENTRY_LIMIT))
    count_route_entry(routes, frame, source, entry.data());
}

void count_frame(HeardTables& tables, const char* report) {
  Field<SHORT_LIMIT> port;
  Field<CALL_LIMIT> srce;
  Field<CALL_LIMIT> dest;
  Field<SHORT_LIMIT> l2_type;
  if (!port.read(report, "port") || !srce.read(report, "srce") || !dest.read(report, "dest") ||
      !l2_type.read(report, "l2Type"))
    return;
  Frame frame;
  frame.port = read_int(port.text());
  if (!port_watched(frame.port)) return;
  frame.srce = srce.text();
  frame.dest = dest.text();
  frame.type = &frame_type(l2_type.text());
  Field<SHORT_LIMIT> value;
  frame.sent = value.read(report, "dirn") &&
               (value.text().starts_with('s') || value.text().starts_with('S'));
  // Only what the tables keep is looked for: each lookup is a pass over
  // the report, and one for an absent key goes to its end.
  if (!frame.sent && value.read(report, "isRF") && !value.empty())
    frame.radio =
        value.text()[0] == 't' || value.text()[0] == 'T' ? HeardRadio::radio : HeardRadio::wire;
  if (frame.type->info) {
    if (value.read(report, "ptcl")) frame.protocol = protocol_bit(value.text());
    frame.ilen = count_value(report, "ilen");
  }
  frame.at = report_time(report);
  note_period(tables.period, frame.at);
  count_station(tables.stations, frame);
  count_link(tables.links, frame, report);
  if (frame.protocol == PTCL_NETROM) count_routes(tables.routes, frame, report);
}

void count_link_report(LinkTable& links, const char* report, bool up) {
  Field<SHORT_LIMIT> port;
  Field<CALL_LIMIT> local;
  Field<CALL_LIMIT> remote;
  if (!port.read(report, "port") || !local.read(report, "local") || !remote.read(report, "remote"))
    return;
  HeardLink probe;
  probe.port = read_int(port.text());
  if (!port_watched(probe.port)) return;
  heard_set_text(probe.call_a, local.text());
  heard_set_text(probe.call_b, remote.text());
  bool made = false;
  HeardLink& link = links.touch(probe, made);
  note_time(link.first, link.last, report_time(report), made);
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

void heard_count(HeardTables& tables, const char* report, std::string_view type) {
  if (type == "L2Trace")
    count_frame(tables, report);
  else if (type == "LinkUpEvent")
    count_link_report(tables.links, report, true);
  else if (type == "LinkDownEvent")
    count_link_report(tables.links, report, false);
}
