// The heard tables' index, recency order and keys.
#include "heard/tables.h"

#include "intake/field_lookup.h"

namespace {

// FNV-1a over the call's bytes with ASCII letters in lower case, so that
// calls equal without case share a slot.
constexpr std::uint32_t FNV_OFFSET = 2166136261U;
constexpr std::uint32_t FNV_PRIME = 16777619U;

std::uint32_t mix(std::uint32_t hash, unsigned char byte) {
  return (hash ^ byte) * FNV_PRIME;
}

std::uint32_t hash_call(std::uint32_t hash, std::string_view call) {
  for (const char c : call) {
    const auto byte = static_cast<unsigned char>(c);
    hash = mix(hash, byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte);
  }
  return mix(hash, 0);
}

std::uint32_t hash_port(std::int32_t port) {
  std::uint32_t hash = FNV_OFFSET;
  const auto value = static_cast<std::uint32_t>(port);
  for (int shift = 0; shift < 32; shift += 8)
    hash = mix(hash, static_cast<unsigned char>((value >> shift) & 0xFF));
  return hash;
}

template <std::size_t N>
bool same_call(const std::array<char, N>& a, const std::array<char, N>& b) {
  return equal_ignoring_case(heard_text(a), heard_text(b));
}

}  // namespace

std::uint32_t heard_key_hash(const HeardStation& station) {
  return hash_call(hash_port(station.port), heard_text(station.call));
}

std::uint32_t heard_key_hash(const HeardLink& link) {
  // Symmetric in the two calls: a link is the same whichever end spoke first.
  return hash_port(link.port) ^ hash_call(FNV_OFFSET, heard_text(link.call_a)) ^
         hash_call(FNV_OFFSET, heard_text(link.call_b));
}

std::uint32_t heard_key_hash(const HeardRoute& route) {
  const std::uint32_t hash = mix(hash_port(route.port), static_cast<unsigned char>(route.source));
  return hash_call(hash_call(hash, heard_text(route.neighbour)), heard_text(route.dest));
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
}

template class HeardTable<HeardStation, STATION_CAPACITY>;
template class HeardTable<HeardLink, LINK_CAPACITY>;
template class HeardTable<HeardRoute, ROUTE_CAPACITY>;
