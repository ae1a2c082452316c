// Subscribers of the emulated trace service: who asked for which node port,
// and who has stopped renewing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;

// The client renews its subscription every 11 seconds; one that has missed
// three renewals is gone.
inline constexpr std::chrono::seconds RENEWAL_PERIOD{11};
inline constexpr std::chrono::seconds FORGET_AFTER = 3 * RENEWAL_PERIOD;

// Anyone who can reach the socket can subscribe; the table stays bounded.
inline constexpr size_t MAX_SUBSCRIBERS = 64;

// An IPv4 address and UDP port, both in host order.
struct Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
  bool operator==(const Endpoint&) const = default;
};

std::string endpoint_text(Endpoint endpoint);

struct Subscriber {
  Endpoint from;
  uint16_t node_port = 0;  // 0 = all ports
  Clock::time_point last_heard;
};

enum class Heard { SUBSCRIBED, RENEWED, REFUSED, IGNORED };

class SubscriberTable {
 public:
  // Takes in one datagram from `from`. A datagram of exactly two bytes is a
  // subscription for the big-endian port number it holds; anything else is
  // ignored. Logs the event.
  Heard hear(Endpoint from, std::string_view datagram, Clock::time_point now);

  // Drops, and logs, every subscriber not heard from for more than
  // FORGET_AFTER.
  void forget_silent(Clock::time_point now);

  const std::vector<Subscriber>& subscribers() const { return subscribers_; }

 private:
  std::vector<Subscriber> subscribers_;
};

}  // namespace sim
