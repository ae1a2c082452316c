// The receive loop: wait, receive, split, renew the subscription.
#include "app/receive_loop.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <span>

#include "app/console_keys.h"
#include "app/heard_store.h"
#include "app/platform.h"
#include "app/record_file.h"
#include "app/service_watch.h"
#include "app/settings.h"
#include "heard/heard.h"
#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "output/channels.h"

namespace {

// Room for a whole datagram and the terminator that the splitter writes.
constexpr std::size_t RECEIVE_BUFFER_SIZE = MAX_DATAGRAM + 100;

constexpr char COLOUR_RESET[] = "\033[0m";

// Whether the system counts the datagrams it drops on the trace socket, so
// that the heard tables can say how many went.
bool drops_counted = false;

// Datagrams taken back to back before the loop waits again: enough to spare
// most waits when the node is busy, few enough that a signal is seen within
// a millisecond or so.
constexpr int RECEIVE_BURST = 32;

void send_subscription(NetSocket socket) {
  unsigned char subscription[2];
  encode_subscription(settings.port_filter, subscription);
  // A lost subscription is simply sent again at the next renewal.
  send_datagram(socket, subscription, sizeof subscription);
}

void note_small_receive_buffer(NetSocket socket, int asked) {
  const int granted = granted_receive_buffer(socket);
  if (granted >= 0 && granted < asked)
    con_print("[Receive buffer is %d bytes, not %d: raise net.core.rmem_max to hold bursts]\n",
              granted, asked);
}

}  // namespace

void DropWarnings::check(std::uint32_t total, Clock::time_point now) {
  if (total == told_total_ || now < next_due()) return;
  con_print("[%u datagrams dropped by kernel so far]\n", total);
  told_total_ = total;
  last_told_ = now;
}

void encode_subscription(int port, unsigned char bytes[2]) {
  // Truncating division, as the node expects for 0 to 65535; other values
  // keep their low bits instead of overflowing a byte.
  bytes[0] = static_cast<unsigned char>((port / 256) & 0xFF);
  bytes[1] = static_cast<unsigned char>((port % 256) & 0xFF);
}

NetSocket open_trace_socket(std::uint32_t server_address, int receive_buffer) {
  const NetSocket socket = open_udp_socket("Socket");
  if (socket == NO_SOCKET) return NO_SOCKET;
  if (!set_non_blocking(socket, "ioctlsocket")) {
    close_socket(socket);
    return NO_SOCKET;
  }
  request_receive_buffer(socket, receive_buffer);
  if (trace_flag(TF_WARNINGS)) note_small_receive_buffer(socket, receive_buffer);
  drops_counted = count_dropped_datagrams(socket);
  // With every port of the range taken the system picks one at connect.
  for (int port = LOCAL_PORT_FIRST; port <= LOCAL_PORT_LAST; ++port)
    if (bind_local_port(socket, static_cast<std::uint16_t>(port))) break;
  if (!connect_socket(socket, server_address, TRACE_PORT, "connect")) {
    close_socket(socket);
    return NO_SOCKET;
  }
  return socket;
}

void reopen_capture_file() {
  if (settings.capture_path[0] == '\0') return;
  if (settings.capture_file != nullptr) std::fclose(settings.capture_file);
  settings.capture_file = open_capture_stream(settings.capture_path, false);
  if (settings.capture_file == nullptr)
    print_open_failure(CAPTURE_OPEN_FAILURE, settings.capture_path, errno);
}

int run_receive_loop(NetSocket socket, std::uint32_t server_address) {
  using Clock = RenewalSchedule::Clock;
  std::array<char, RECEIVE_BUFFER_SIZE> buffer;
  RenewalSchedule renewals;
  std::uint32_t dropped_total = 0;
  DropWarnings drop_warnings;
  ServiceWatch service(server_address, TRACE_PORT);
  const auto renew_if_due = [&](Clock::time_point now) {
    if (!renewals.due(now)) return;
    renewals.sent(now);
    send_subscription(socket);
    service.subscribed(now);
  };
  hold_signals_outside_waits();
  for (;;) {
    // The drop count as the heard tables' headers tell it, also between
    // two traces.
    if (drops_counted && heard_kept()) heard_note_dropped(dropped_total);
    const Clock::time_point now = Clock::now();
    renew_if_due(now);
    service.check(now);
    Clock::time_point wake =
        std::min({renewals.next_due(), service.next_due(), next_heard_save()});
    if (trace_flag(TF_WARNINGS)) {
      drop_warnings.check(dropped_total, now);
      wake = std::min(wake, drop_warnings.next_due(dropped_total));
    }
    // Asleep until a datagram, a signal, the next renewal or heard-file
    // save: no other wake-ups while the node is quiet.
    const bool readable = wait_for_datagram(socket, std::max(wake - now, Clock::duration::zero()));
    if (ending_signal() != 0) break;
    reopen_files_if_asked();
    answer_console_requests();
    save_heard_file_if_due(Clock::now());
    if (!readable) continue;
    // While datagrams keep coming they are taken one after another without
    // a wait between them; after RECEIVE_BURST the loop goes back through
    // the wait, where signals get in. A receive error, such as "connection
    // refused" while the node is not running, is consumed here and ends the
    // burst.
    for (int burst = 0; burst < RECEIVE_BURST; ++burst) {
      const long received =
          receive_datagram(socket, std::span<char>(buffer.data(), MAX_DATAGRAM), dropped_total);
      if (received == RECEIVE_REFUSED) service.refused();
      if (received <= 0) break;
      service.received();
      record_datagram(buffer.data(), static_cast<std::size_t>(received));
      handle_datagram(buffer.data(), static_cast<std::size_t>(received));
      renew_if_due(Clock::now());
    }
  }
  if (drops_counted && heard_kept()) heard_note_dropped(dropped_total);
  print_heard_at_end();
  if (dropped_total != 0) con_print("%u datagrams dropped by kernel\n", dropped_total);
  finish_console();
  return 128 + ending_signal();
}

void handle_datagram(char* data, std::size_t length) {
  split_datagram(data, length, dispatch_report);
  std::fflush(console_stream());
}

void print_heard_at_end() {
  if (!heard_kept()) return;
  // The tables in the console's own colour, not the last trace's.
  if (trace_flag(TF_COLOUR)) con_print("%s", COLOUR_RESET);
  heard_print(HEARD_ALL);
}

void finish_console() {
  std::fflush(console_stream());
  if (trace_flag(TF_COLOUR)) {
    con_print("%s", COLOUR_RESET);
    std::fflush(console_stream());
  }
}
