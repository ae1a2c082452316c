// The UDP side: the socket towards the node's trace service and the loop.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/platform.h"
#include "intake/datagram.h"

// The trace service's UDP port on the node's host.
inline constexpr std::uint16_t TRACE_PORT = 7373;

// The client's own end is bound to the first free port of this range.
inline constexpr std::uint16_t LOCAL_PORT_FIRST = 32000;
inline constexpr std::uint16_t LOCAL_PORT_LAST = 33000;

// Bursts wait in the socket while a trace is being written; the default
// buffer holds only about 160 datagrams. The system caps the request.
inline constexpr int SOCKET_RECEIVE_BUFFER = 4 * 1024 * 1024;

// A subscription goes out when more than this many whole seconds have
// passed, so one every 11 seconds.
inline constexpr std::chrono::seconds KEEPALIVE_INTERVAL{10};

// When the subscription is renewed. Times come from a monotonic clock, so a
// wall clock set back (NTP on a machine that booted without a clock, a sysop
// setting the date) never holds a renewal back.
class RenewalSchedule {
 public:
  using Clock = MonotonicClock;

  // More than KEEPALIVE_INTERVAL in whole seconds.
  static constexpr Clock::duration PERIOD = KEEPALIVE_INTERVAL + std::chrono::seconds(1);

  // The first subscription is due at once; then PERIOD after the last one.
  bool due(Clock::time_point now) const { return now >= next_due(); }
  Clock::time_point next_due() const {
    return last_sent_ ? *last_sent_ + PERIOD : Clock::time_point::min();
  }
  void sent(Clock::time_point now) { last_sent_ = now; }

 private:
  std::optional<Clock::time_point> last_sent_;  // empty until the first is sent
};

// Tells, under -W, that the system has dropped datagrams since the last
// warning, with the total, at most once per INTERVAL.
class DropWarnings {
 public:
  using Clock = MonotonicClock;
  static constexpr std::chrono::seconds INTERVAL{1};

  // Prints the warning when the total has grown and one may be printed now.
  void check(std::uint32_t total, Clock::time_point now);

  // When a warning about drops not yet told may be printed; max when none.
  Clock::time_point next_due(std::uint32_t total) const {
    return total == told_total_ ? Clock::time_point::max() : next_due();
  }

 private:
  Clock::time_point next_due() const {
    return last_told_ ? *last_told_ + INTERVAL : Clock::time_point::min();
  }

  std::uint32_t told_total_ = 0;
  std::optional<Clock::time_point> last_told_;
};

// Opens and connects the socket, asking for a receive buffer of the given
// size; returns it, or NO_SOCKET after printing why. Under -W it says when
// the system grants less than asked.
NetSocket open_trace_socket(std::uint32_t server_address,
                            int receive_buffer = SOCKET_RECEIVE_BUFFER);

// The two subscription bytes for a port: big-endian, 0 for all ports.
void encode_subscription(int port, unsigned char bytes[2]);

// Closes the capture file and opens its path again (logrotate has moved it
// away); on failure says so, and the next call tries again.
void reopen_capture_file();

// Receives and handles datagrams until a terminating signal; returns the
// process's exit status for that signal.
int run_receive_loop(NetSocket socket);

// What the client does with every datagram, live or read from a file:
// reports to the dispatcher, then the console flushed. `data` must hold
// length + 1 bytes (the splitter writes a terminator).
void handle_datagram(char* data, std::size_t length);

// With the heard tables kept, prints them all: how every run ends, after
// the last trace.
void print_heard_at_end();

// Flushes the console and, with colour on, resets its colour: how every
// run ends.
void finish_console();
