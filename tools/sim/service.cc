// The emulated trace service: one socket, its subscribers, and the sending
// of report datagrams to them. Shared by replay and generate.
#include "sim/service.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>

#include "sim/log.h"
#include "sim/objects.h"

namespace sim {

namespace {

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int signal_number) {
  stop_signal = signal_number;
}

// Subscriptions and forgetting are looked at least this often while waiting.
constexpr std::chrono::milliseconds MAX_WAIT{200};

}  // namespace

bool stop_requested() {
  return stop_signal != 0;
}

void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal must cut a poll short.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

TraceService::TraceService(int fd, bool all_ports) : fd_(fd), all_ports_(all_ports) {}

TraceService::~TraceService() {
  close(fd_);
}

void TraceService::take_datagrams(Clock::time_point now) {
  while (const std::optional<Received> received =
             receive_datagram(fd_, buffer_.data(), buffer_.size())) {
    table_.hear(received->from, std::string_view(buffer_.data(), received->length), now);
  }
  table_.forget_silent(now);
}

bool TraceService::serve_until(Clock::time_point deadline, size_t subscribers) {
  for (;;) {
    if (stop_requested()) return false;
    const Clock::time_point now = Clock::now();
    take_datagrams(now);
    if (subscribers != 0 && subscriber_count() >= subscribers) return true;
    if (now >= deadline) return true;
    const auto wait = std::min<Clock::duration>(deadline - now, MAX_WAIT);
    const auto wait_ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    wait_readable(fd_, static_cast<int>(wait_ms));
  }
}

void TraceService::send_to_subscribers(std::string_view datagram) {
  take_datagrams(Clock::now());
  ++pass_datagrams_;
  for (const Subscriber& subscriber : table_.subscribers()) {
    pass_subscribers_.insert({subscriber.from.address, subscriber.from.port});
    const std::optional<std::string> part = all_ports_
                                                ? std::optional<std::string>(datagram)
                                                : datagram_for_port(datagram, subscriber.node_port);
    if (!part) continue;
    if (!send_datagram(fd_, subscriber.from, *part)) {
      log_line("send to %s failed: %s", endpoint_text(subscriber.from).c_str(),
               std::strerror(errno));
    }
  }
}

void TraceService::end_pass() {
  log_line("sent %zu datagrams to %zu subscribers", pass_datagrams_, pass_subscribers_.size());
  pass_datagrams_ = 0;
  pass_subscribers_.clear();
}

}  // namespace sim
