// The heard tables: stations, links and routes, each of fixed capacity.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// Calls, aliases and the like are kept as received (cut to their limit) and
// go through the sanitiser only when shown or written out.
inline constexpr std::size_t HEARD_CALL_LENGTH = 15;
inline constexpr std::size_t HEARD_ALIAS_LENGTH = 6;
using HeardCall = std::array<char, HEARD_CALL_LENGTH + 1>;
using HeardAlias = std::array<char, HEARD_ALIAS_LENGTH + 1>;

inline constexpr std::size_t STATION_CAPACITY = 4096;
inline constexpr std::size_t LINK_CAPACITY = 1024;
inline constexpr std::size_t ROUTE_CAPACITY = 4096;

// The protocols a station's frames carried, a bit each (`ptcl`).
inline constexpr std::uint32_t PTCL_NETROM = 0x1;
inline constexpr std::uint32_t PTCL_IP = 0x2;
inline constexpr std::uint32_t PTCL_ARP = 0x4;
inline constexpr std::uint32_t PTCL_DATA = 0x8;
inline constexpr std::uint32_t PTCL_OTHER = 0x10;  // any other value of `ptcl`

// `isRF` of a station's frames: not told, true, false.
enum class HeardRadio : std::uint8_t { unknown = 0, radio = 1, wire = 2 };

// One station, per port and call (the call compared without case).
struct HeardStation {
  std::int32_t port = 0;
  HeardCall call{};       // as first heard
  HeardCall last_dest{};  // where its last frame went
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::uint64_t heard = 0;  // frames received from it (`dirn` r)
  std::uint64_t sent = 0;   // frames the node sent to it (`dirn` s)
  // Frames heard from it, by class.
  std::uint64_t heard_i = 0;
  std::uint64_t heard_s = 0;  // RR, RNR, REJ, SREJ
  std::uint64_t heard_u = 0;  // SABM(E), UA, DISC, DM, FRMR and the rest but UI
  std::uint64_t heard_ui = 0;
  std::uint64_t info_bytes = 0;  // `ilen` of the frames heard from it
  std::uint32_t protocols = 0;   // PTCL_ bits
  HeardRadio radio = HeardRadio::unknown;
};

// The sequence state of one direction of a link, for telling new I frames
// from ones sent again.
struct HeardSequence {
  bool seen = false;      // an I frame has been heard since the link (re)started
  std::uint8_t next = 0;  // N(S) after the highest sent so far
};

// One direction of a link.
struct HeardLinkSide {
  std::uint64_t i_frames = 0;
  std::uint64_t i_bytes = 0;
  std::uint64_t resent = 0;  // I frames whose N(S) had been sent already
  std::uint64_t rr = 0;
  std::uint64_t rnr = 0;
  std::uint64_t rej = 0;
  std::uint64_t srej = 0;
  std::uint64_t sabm = 0;
  std::uint64_t sabme = 0;
  std::uint64_t ua = 0;
  std::uint64_t disc = 0;
  std::uint64_t dm = 0;
  std::uint64_t frmr = 0;
  HeardSequence sequence;
};

// One connected-mode link, per port and pair of calls (either order).
struct HeardLink {
  std::int32_t port = 0;
  HeardCall call_a{};  // the source of the first frame heard
  HeardCall call_b{};
  std::array<HeardLinkSide, 2> sides{};  // [0]: a to b, [1]: b to a
  std::uint64_t ups = 0;                 // the node's link up reports
  std::uint64_t downs = 0;               // and its down reports
  std::uint8_t modulus = 8;              // 128 once a SABME or a sequence number above 7 is seen
  std::int64_t first = 0;
  std::int64_t last = 0;
};

// How an advertisement compares with the neighbour's previous one.
enum class RouteChange : std::uint8_t { fresh = 0, same = 1, better = 2, worse = 3, withdrawn = 4 };

enum class RouteSource : std::uint8_t { nodes = 0, inp3 = 1 };

// One destination as advertised by one neighbour (the frame's source), in
// NODES broadcasts or in INP3 unicasts: the two measure routes differently
// and are kept apart.
struct HeardRoute {
  std::int32_t port = 0;
  HeardCall dest{};
  HeardCall neighbour{};
  HeardAlias alias{};
  RouteSource source = RouteSource::nodes;
  std::int32_t quality = 0;    // NODES
  HeardCall via{};             // NODES
  std::int32_t hops = 0;       // INP3
  std::int32_t trip_time = 0;  // INP3, as the node sends it (`tt`)
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::uint64_t count = 0;
  RouteChange change = RouteChange::fresh;
};

// The span of report times a table covers and the frames counted in it.
struct HeardPeriod {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::uint64_t frames = 0;
};

// A table of fixed capacity, found by key through an open-addressed index,
// and kept in order of the last time each entry was touched, so that the
// entry heard least recently is the one that goes when the table is full.
template <class Entry, std::size_t Capacity>
class HeardTable {
  static_assert(Capacity > 0 && Capacity < 0x8000, "indices are 16 bits");

 public:
  static constexpr std::size_t CAPACITY = Capacity;

  HeardTable() noexcept { clear(); }

  // The entry with the key of `probe`, made from it (evicting the least
  // recently heard when full) when there is none; it becomes the most
  // recently heard. `made` tells whether it is new.
  Entry& touch(const Entry& probe, bool& made);

  // The entry with the key of `probe`, or null; the order is not changed.
  const Entry* find(const Entry& probe) const;

  // Puts a loaded entry back (replacing one with its key) as the most
  // recently heard: restore them least recently heard first.
  Entry& restore(const Entry& loaded) {
    bool made = false;
    Entry& entry = touch(loaded, made);
    entry = loaded;
    return entry;
  }

  // Every entry, least recently heard first.
  template <class Visit>
  void each(Visit&& visit) const {
    for (std::uint16_t at = oldest_; at != NONE; at = newer_[at]) visit(entries_[at]);
  }
  template <class Visit>
  void each(Visit&& visit) {
    for (std::uint16_t at = oldest_; at != NONE; at = newer_[at]) visit(entries_[at]);
  }

  std::size_t size() const { return size_; }
  // Entries that went to make room.
  std::uint64_t dropped() const { return dropped_; }
  void set_dropped(std::uint64_t dropped) { dropped_ = dropped; }

  void clear() noexcept;

 private:
  static constexpr std::uint16_t NONE = 0xFFFF;
  static constexpr std::size_t SLOTS = [] {
    std::size_t slots = 1;
    while (slots < 2 * Capacity) slots *= 2;
    return slots;
  }();

  std::size_t slot_of(const Entry& probe) const;
  void unlink(std::uint16_t at);
  void link_newest(std::uint16_t at);
  void remove_from_index(std::uint16_t at);

  std::array<Entry, Capacity> entries_;
  std::array<std::uint16_t, Capacity> newer_;
  std::array<std::uint16_t, Capacity> older_;
  std::array<std::uint16_t, SLOTS> slots_;
  std::uint16_t oldest_ = NONE;
  std::uint16_t newest_ = NONE;
  std::size_t size_ = 0;
  std::uint64_t dropped_ = 0;
};

using StationTable = HeardTable<HeardStation, STATION_CAPACITY>;
using LinkTable = HeardTable<HeardLink, LINK_CAPACITY>;
using RouteTable = HeardTable<HeardRoute, ROUTE_CAPACITY>;

// Everything kept: the three tables and what their headers tell.
struct HeardTables {
  StationTable stations;
  LinkTable links;
  RouteTable routes;
  HeardPeriod period;
  std::uint64_t datagrams_dropped = 0;  // by the system, when known
  bool dropped_known = false;
  // Reports that counted for anything since the tables were made: a timed
  // save of the heard file is skipped while it stands still.
  std::uint64_t reports_counted = 0;

  void clear() noexcept;
};

// The one instance the client keeps (heard/heard.cc).
HeardTables& heard_tables();

// The keys: calls compared without case, a link's two calls in either order.
std::uint32_t heard_key_hash(const HeardStation& station);
std::uint32_t heard_key_hash(const HeardLink& link);
std::uint32_t heard_key_hash(const HeardRoute& route);
bool heard_same_key(const HeardStation& a, const HeardStation& b);
bool heard_same_key(const HeardLink& a, const HeardLink& b);
bool heard_same_key(const HeardRoute& a, const HeardRoute& b);

// A kept text as a string_view, up to its terminator.
template <std::size_t N>
std::string_view heard_text(const std::array<char, N>& text) {
  std::size_t length = 0;
  while (length < N && text[length] != '\0') ++length;
  return {text.data(), length};
}

// Copies `value` into a kept text, cut to fit, always terminated.
template <std::size_t N>
void heard_set_text(std::array<char, N>& text, std::string_view value) {
  const std::size_t length = value.size() < N - 1 ? value.size() : N - 1;
  text.fill('\0');
  if (length > 0) std::memcpy(text.data(), value.data(), length);
}

// The three tables' code is built once, in heard/tables.cc.
extern template class HeardTable<HeardStation, STATION_CAPACITY>;
extern template class HeardTable<HeardLink, LINK_CAPACITY>;
extern template class HeardTable<HeardRoute, ROUTE_CAPACITY>;
