// The emulated trace service: one socket, its subscribers, and the sending
// of report datagrams to them. Shared by replay, generate and pellarin-kiss.
#pragma once

#include <array>
#include <cstddef>
#include <set>
#include <string_view>

#include "sim/subscribers.h"
#include "sim/udp.h"

namespace sim {

// Set by SIGINT and SIGTERM; every wait of the program ends when it is.
bool stop_requested();
void install_stop_handlers();

class TraceService {
 public:
  // Takes ownership of the bound socket `fd`. With `all_ports`, every
  // subscriber gets every datagram whatever port it asked for.
  TraceService(int fd, bool all_ports);
  ~TraceService();
  TraceService(const TraceService&) = delete;
  TraceService& operator=(const TraceService&) = delete;

  // Handles subscriptions and forgets silent subscribers until `deadline`,
  // until `subscribers` are subscribed (when not 0), or a stop request.
  // True when the deadline or the subscribers were reached.
  bool serve_until(Clock::time_point deadline, size_t subscribers = 0);

  // Sends the datagram to every subscriber, filtered by the port each asked
  // for. A pass counts the datagrams offered and the subscribers reached.
  void send_to_subscribers(std::string_view datagram);

  size_t subscriber_count() const { return table_.subscribers().size(); }

  // The service socket, for a program that waits on it beside other input.
  int socket() const { return fd_; }

  // Logs "sent N datagrams to M subscribers" for the pass and starts a new one.
  void end_pass();

 private:
  void take_datagrams(Clock::time_point now);

  int fd_;
  bool all_ports_;
  SubscriberTable table_;
  std::array<char, MAX_UDP_PAYLOAD> buffer_{};
  size_t pass_datagrams_ = 0;
  std::set<std::pair<uint32_t, uint16_t>> pass_subscribers_;
};

}  // namespace sim
