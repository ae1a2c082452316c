// The heard tables' index, recency order and keys.
#include "heard/tables.h"

#include <cstring>

#include "intake/text_words.h"

namespace {

// A kept call is sixteen bytes, zero after its terminator (heard_set_text),
// so as two words with ASCII capitals made small, calls equal without case
// are equal words: a key is hashed and compared a word at a time.
static_assert(sizeof(HeardCall) == 2 * sizeof(std::uint64_t));

struct CallWords {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  bool operator==(const CallWords&) const = default;
};

CallWords call_words(const HeardCall& call) {
  CallWords words;
  std::memcpy(&words.low, call.data(), sizeof words.low);
  std::memcpy(&words.high, call.data() + sizeof words.low, sizeof words.high);
  return {fold_capitals(words.low), fold_capitals(words.high)};
}

// A multiply and a shift per word (the golden ratio's odd constant).
constexpr std::uint64_t HASH_START = 0x243F6A8885A308D3;
std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15;
  return hash ^ hash >> 29;
}

std::uint64_t mix_call(std::uint64_t hash, const HeardCall& call) {
  const CallWords words = call_words(call);
  return mix(mix(hash, words.low), words.high);
}

std::uint32_t top_half(std::uint64_t hash) {
  return static_cast<std::uint32_t>(hash >> 32);
}

bool same_call(const HeardCall& a, const HeardCall& b) {
  return call_words(a) == call_words(b);
}

}  // namespace

std::uint32_t heard_key_hash(const HeardStation& station) {
  return top_half(mix_call(mix(HASH_START, static_cast<std::uint32_t>(station.port)), station.call));
}

std::uint32_t heard_key_hash(const HeardLink& link) {
  // Symmetric in the two calls: a link is the same whichever end spoke first.
  const std::uint64_t calls = mix_call(HASH_START, link.call_a) + mix_call(HASH_START, link.call_b);
  return top_half(mix(mix(HASH_START, static_cast<std::uint32_t>(link.port)), calls));
}

std::uint32_t heard_key_hash(const HeardRoute& route) {
  const std::uint64_t kind = static_cast<std::uint64_t>(route.source) << 32;
  const std::uint64_t hash = mix(HASH_START, static_cast<std::uint32_t>(route.port) | kind);
  return top_half(mix_call(mix_call(hash, route.neighbour), route.dest));
}

bool heard_same_key(const HeardStation& a, const HeardStation& b) {
  return a.port == b.port && same_call(a.call, b.call);
}

bool heard_same_key(const HeardLink& a, const HeardLink& b) {
  if (a.port != b.port) return false;
  return (same_call(a.call_a, b.call_a) && same_call(a.call_b, b.call_b)) ||
         (same_call(a.call_a, b.call_b) && same_call(a.call_b, b.call_a));
}

bool heard_same_key(const HeardRoute& a, const HeardRoute& b) {
  return a.port == b.port && a.source == b.source && same_call(a.neighbour, b.neighbour) &&
         same_call(a.dest, b.dest);
}

template <class Entry, std::size_t Capacity>
void HeardTable<Entry, Capacity>::clear() noexcept {
  slots_.fill(NONE);
  oldest_ = NONE;
  newest_ = NONE;
  size_ = 0;
  dropped_ = 0;
}

template <class Entry, std::size_t Capacity>
std::size_t HeardTable<Entry, Capacity>::slot_of(const Entry& probe) const {
  std::size_t slot = heard_key_hash(probe) & (SLOTS - 1);
  while (slots_[slot] != NONE && !heard_same_key(entries_[slots_[slot]], probe))
    slot = (slot + 1) & (SLOTS - 1);
  return slot;
}

template <class Entry, std::size_t Capacity>
const Entry* HeardTable<Entry, Capacity>::find(const Entry& probe) const {
  const std::uint16_t at = slots_[slot_of(probe)];
  return at == NONE ? nullptr : &entries_[at];
}

template <class Entry, std::size_t Capacity>
void HeardTable<Entry, Capacity>::unlink(std::uint16_t at) {
  if (older_[at] != NONE)
    newer_[older_[at]] = newer_[at];
  else
    oldest_ = newer_[at];
  if (newer_[at] != NONE)
    older_[newer_[at]] = older_[at];
  else
    newest_ = older_[at];
}

template <class Entry, std::size_t Capacity>
void HeardTable<Entry, Capacity>::link_newest(std::uint16_t at) {
  older_[at] = newest_;
  newer_[at] = NONE;
  if (newest_ != NONE)
    newer_[newest_] = at;
  else
    oldest_ = at;
  newest_ = at;
}

// Linear probing's deletion: the entries after the freed slot in its run
// move back into it where their own home allows, so no search stops early.
template <class Entry, std::size_t Capacity>
void HeardTable<Entry, Capacity>::remove_from_index(std::uint16_t at) {
  std::size_t hole = slot_of(entries_[at]);
  slots_[hole] = NONE;
  for (std::size_t slot = (hole + 1) & (SLOTS - 1); slots_[slot] != NONE;
       slot = (slot + 1) & (SLOTS - 1)) {
    const std::size_t home = heard_key_hash(entries_[slots_[slot]]) & (SLOTS - 1);
    // Moves back when its home is not in the cyclic range (hole, slot].
    const bool stays = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
    if (stays) continue;
    slots_[hole] = slots_[slot];
    slots_[slot] = NONE;
    hole = slot;
  }
}

template <class Entry, std::size_t Capacity>
Entry& HeardTable<Entry, Capacity>::touch(const Entry& probe, bool& made) {
  std::size_t slot = slot_of(probe);
  std::uint16_t at = slots_[slot];
  made = at == NONE;
  if (!made) {
    if (newest_ != at) {
      unlink(at);
      link_newest(at);
    }
    return entries_[at];
  }
  if (size_ < Capacity) {
    at = static_cast<std::uint16_t>(size_++);
  } else {
    at = oldest_;
    remove_from_index(at);
    unlink(at);
    ++dropped_;
    slot = slot_of(probe);
  }
  entries_[at] = probe;
  slots_[slot] = at;
  link_newest(at);
  return entries_[at];
}

void HeardTables::clear() noexcept {
  stations.clear();
  links.clear();
  routes.clear();
  period = {};
  datagrams_dropped = 0;
  dropped_known = false;
  reports_counted = 0;
}

template class HeardTable<HeardStation, STATION_CAPACITY>;
template class HeardTable<HeardLink, LINK_CAPACITY>;
template class HeardTable<HeardRoute, ROUTE_CAPACITY>;
