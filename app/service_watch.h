// Whether the node's trace service answers: what the console says when the
// system reports its port unreachable, when reports come after that, and
// when none has come in the first minute. Console only, never the capture
// file; each said once until the state changes again.
#pragma once

#include <chrono>
#include <cstdint>

#include "app/platform.h"

class ServiceWatch {
 public:
  using Clock = MonotonicClock;

  // A quiet port sends nothing, so no report in this long is only a hint.
  static constexpr std::chrono::seconds FIRST_REPORT_WAIT{60};

  ServiceWatch(std::uint32_t address, std::uint16_t port) : address_(address), port_(port) {}

  // The first subscription starts the wait for the first report.
  void subscribed(Clock::time_point now);
  // The system reported the node's port unreachable.
  void refused();
  // A datagram has come from the node.
  void received();
  // Gives the hint when the first report is overdue.
  void check(Clock::time_point now);
  // When the hint is due; max when it never will be.
  Clock::time_point next_due() const;

 private:
  std::uint32_t address_;
  std::uint16_t port_;
  bool waiting_for_first_ = false;  // subscribed, nothing received, no hint yet
  bool ever_subscribed_ = false;
  bool told_refused_ = false;
  Clock::time_point hint_due_{};
};
