// Subscribers of the emulated trace service: who asked for which node port,
// and who has stopped renewing.
#include "sim/subscribers.h"

#include <algorithm>

#include "sim/log.h"

namespace sim {

std::string endpoint_text(Endpoint endpoint) {
  const uint32_t a = endpoint.address;
  return format_text("%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF,
                     endpoint.port);
}

Heard SubscriberTable::hear(Endpoint from, std::string_view datagram, Clock::time_point now) {
  const std::string who = endpoint_text(from);
  if (datagram.size() != 2) {
    log_line("ignored %zu-byte datagram from %s", datagram.size(), who.c_str());
    return Heard::IGNORED;
  }
  const auto high = static_cast<unsigned char>(datagram[0]);
  const auto low = static_cast<unsigned char>(datagram[1]);
  const auto node_port = static_cast<uint16_t>(high << 8 | low);
  const auto known = std::find_if(subscribers_.begin(), subscribers_.end(),
                                  [&](const Subscriber& s) { return s.from == from; });
  if (known != subscribers_.end()) {
    known->node_port = node_port;
    known->last_heard = now;
    log_line("renewed %s port %u (bytes %02x %02x)", who.c_str(), node_port, high, low);
    return Heard::RENEWED;
  }
  if (subscribers_.size() >= MAX_SUBSCRIBERS) {
    log_line("refused %s port %u: already %zu subscribers", who.c_str(), node_port,
             MAX_SUBSCRIBERS);
    return Heard::REFUSED;
  }
  subscribers_.push_back(Subscriber{from, node_port, now});
  log_line("subscribed %s port %u (bytes %02x %02x)", who.c_str(), node_port, high, low);
  return Heard::SUBSCRIBED;
}

void SubscriberTable::forget_silent(Clock::time_point now) {
  std::erase_if(subscribers_, [&](const Subscriber& s) {
    if (now - s.last_heard <= FORGET_AFTER) return false;
    log_line("forgot %s (no renewal for %lld s)", endpoint_text(s.from).c_str(),
             static_cast<long long>(FORGET_AFTER.count()));
    return true;
  });
}

}  // namespace sim
