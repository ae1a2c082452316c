// AX.25 addresses and the table of modulo-128 links that tells how wide a
// frame's control field is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kiss {

inline constexpr size_t ADDRESS_LENGTH = 7;
// Destination, source and at most eight digipeaters.
inline constexpr size_t MAX_DIGIS = 8;

struct Ax25Address {
  std::string call;       // "G4ABC", or "G4ABC-7" when the SSID is not 0
  bool high_bit = false;  // C bit of destination and source, H bit of a digipeater
  bool last = false;      // the extension bit: the address field ends here
};

// The call of a 7-byte address (six characters shifted left by one, then the
// SSID byte), cleaned and without trailing blanks. Used for NET/ROM calls too.
std::string address_call(std::span<const uint8_t, ADDRESS_LENGTH> bytes);
// The call of the address at `at` in `bytes`, which must hold all of it.
std::string call_at(std::span<const uint8_t> bytes, size_t at);

// One address of an AX.25 address field, or nothing when a character byte
// has its low bit set (only the SSID byte may carry the extension bit).
std::optional<Ax25Address> read_address(std::span<const uint8_t, ADDRESS_LENGTH> bytes);

// Links that SABME set up use two-byte control fields in their I and S
// frames. A link is known by its KISS port and its two calls in either order.
struct LinkKey {
  uint8_t port = 0;
  std::string first;  // the lesser of the two calls
  std::string second;
  bool operator==(const LinkKey&) const = default;
};

LinkKey link_key(uint8_t port, const std::string& one, const std::string& other);

// Bounded: the links heard least recently make room, and a link silent for
// LINK_IDLE_LIMIT seconds is forgotten, since its DISC may never be heard.
inline constexpr size_t MAX_LINKS = 256;
inline constexpr int64_t LINK_IDLE_LIMIT = int64_t{30} * 60;

class LinkTable {
 public:
  // Whether the link is a modulo-128 one; hearing it keeps it alive.
  bool extended(const LinkKey& key, int64_t now);
  void set_extended(const LinkKey& key, int64_t now);
  void clear(const LinkKey& key);
  size_t size() const { return links_.size(); }

 private:
  struct Link {
    LinkKey key;
    int64_t last_heard = 0;
  };
  void forget_idle(int64_t now);
  std::vector<Link> links_;
};

}  // namespace kiss
