// The UDP side: the socket towards the node's trace service and the loop.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

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

// The system's monotonic clock, read straight from the C library: the
// standard library's steady_clock would load all of libstdc++ (about 1 MiB
// resident) for this one call.
struct MonotonicClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<MonotonicClock>;
  static constexpr bool is_steady = true;
  static time_point now();
};

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
// size; returns it, or -1 after printing why. Under -W it says when the
// system grants less than asked.
int open_trace_socket(std::uint32_t server_address, int receive_buffer = SOCKET_RECEIVE_BUFFER);

// The two subscription bytes for a port: big-endian, 0 for all ports.
void encode_subscription(int port, unsigned char bytes[2]);

// Receives one datagram without waiting; the byte count, or -1 when none is
// waiting or the receive failed. `dropped_total` becomes the number of
// datagrams the system has dropped on this socket for want of room, as far
// as it has told.
ssize_t receive_datagram(int socket_fd, std::span<char> buffer, std::uint32_t& dropped_total);

// Closes the capture file and opens its path again (logrotate has moved it
// away); on failure says so, and the next call tries again.
void reopen_capture_file();

// Catches the signals that end the client (and SIGUSR1, which reopens the
// capture file) so that the loop can act on them between datagrams. They
// are held back except while the loop waits, so none slips in between the
// loop's test and its wait.
void install_signal_handlers();

// Receives and handles datagrams until a terminating signal; returns the
// process's exit status for that signal.
int run_receive_loop(int socket_fd);
