// AX.25 addresses and the table of modulo-128 links that tells how wide a
// frame's control field is.
#include "kiss/ax25.h"

#include <algorithm>

#include "kiss/report.h"

namespace kiss {

std::string address_call(std::span<const uint8_t, ADDRESS_LENGTH> bytes) {
  uint8_t shifted[ADDRESS_LENGTH - 1];
  for (size_t i = 0; i + 1 < ADDRESS_LENGTH; ++i) shifted[i] = bytes[i] >> 1;
  std::string call = clean_text(std::span<const uint8_t>(shifted, ADDRESS_LENGTH - 1));
  while (!call.empty() && call.back() == ' ') call.pop_back();
  const int ssid = (bytes[ADDRESS_LENGTH - 1] >> 1) & 0x0F;
  // Appended piece by piece: GCC 12 at -O3 takes "-" + std::string for an
  // overlapping copy (a -Wrestrict false positive).
  if (ssid != 0) {
    call += '-';
    call += std::to_string(ssid);
  }
  return call;
}

std::string call_at(std::span<const uint8_t> bytes, size_t at) {
  return address_call(bytes.subspan(at).first<ADDRESS_LENGTH>());
}

std::optional<Ax25Address> read_address(std::span<const uint8_t, ADDRESS_LENGTH> bytes) {
  for (size_t i = 0; i + 1 < ADDRESS_LENGTH; ++i) {
    if ((bytes[i] & 0x01) != 0) return std::nullopt;
  }
  const uint8_t ssid_byte = bytes[ADDRESS_LENGTH - 1];
  return Ax25Address{address_call(bytes), (ssid_byte & 0x80) != 0, (ssid_byte & 0x01) != 0};
}

LinkKey link_key(uint8_t port, const std::string& one, const std::string& other) {
  return one < other ? LinkKey{port, one, other} : LinkKey{port, other, one};
}

void LinkTable::forget_idle(int64_t now) {
  std::erase_if(links_,
                [now](const Link& link) { return now - link.last_heard > LINK_IDLE_LIMIT; });
}

bool LinkTable::extended(const LinkKey& key, int64_t now) {
  forget_idle(now);
  const auto found =
      std::find_if(links_.begin(), links_.end(), [&](const Link& link) { return link.key == key; });
  if (found == links_.end()) return false;
  found->last_heard = std::max(found->last_heard, now);
  return true;
}

void LinkTable::set_extended(const LinkKey& key, int64_t now) {
  if (extended(key, now)) return;
  if (links_.size() >= MAX_LINKS) {
    links_.erase(std::min_element(links_.begin(), links_.end(), [](const Link& a, const Link& b) {
      return a.last_heard < b.last_heard;
    }));
  }
  links_.push_back(Link{key, now});
}

void LinkTable::clear(const LinkKey& key) {
  std::erase_if(links_, [&](const Link& link) { return link.key == key; });
}

}  // namespace kiss
