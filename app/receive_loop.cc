// The receive loop: wait, receive, split, renew the subscription.
#include "app/receive_loop.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "app/platform.h"
#include "app/record_file.h"
#include "app/settings.h"
#include "intake/dispatch.h"
#include "intake/splitter.h"
#include "output/channels.h"

namespace {

// Room for a whole datagram and the terminator that the splitter writes.
constexpr std::size_t RECEIVE_BUFFER_SIZE = MAX_DATAGRAM + 100;

// Bursts wait in the socket while a trace is being written; the default
// buffer holds only about 160 datagrams. The system caps the request.
constexpr int SOCKET_RECEIVE_BUFFER = 4 * 1024 * 1024;

constexpr int IDLE_WAIT_MS = 10;

constexpr char COLOUR_RESET[] = "\033[0m";

void send_subscription(NetSocket socket) {
  unsigned char subscription[2];
  encode_subscription(settings.port_filter, subscription);
  // A lost subscription is simply sent again at the next renewal.
  send_datagram(socket, subscription, sizeof subscription);
}

}  // namespace

void encode_subscription(int port, unsigned char bytes[2]) {
  // Truncating division, as the node expects for 0 to 65535; other values
  // keep their low bits instead of overflowing a byte.
  bytes[0] = static_cast<unsigned char>((port / 256) & 0xFF);
  bytes[1] = static_cast<unsigned char>((port % 256) & 0xFF);
}

NetSocket open_trace_socket(std::uint32_t server_address) {
  const NetSocket socket = open_udp_socket("Socket");
  if (socket == NO_SOCKET) return NO_SOCKET;
  if (!set_non_blocking(socket, "ioctlsocket")) {
    close_socket(socket);
    return NO_SOCKET;
  }
  request_receive_buffer(socket, SOCKET_RECEIVE_BUFFER);
  // With every port of the range taken the system picks one at connect.
  for (int port = LOCAL_PORT_FIRST; port <= LOCAL_PORT_LAST; ++port)
    if (bind_local_port(socket, static_cast<std::uint16_t>(port))) break;
  if (!connect_socket(socket, server_address, TRACE_PORT, "connect")) {
    close_socket(socket);
    return NO_SOCKET;
  }
  return socket;
}

int run_receive_loop(NetSocket socket) {
  std::array<char, RECEIVE_BUFFER_SIZE> buffer;
  std::time_t last_subscription = 0;
  while (ending_signal() == 0) {
    reopen_files_if_asked();
    // Wait for a datagram rather than sleeping blind, so one is handled as
    // soon as it arrives.
    if (wait_for_datagram(socket, IDLE_WAIT_MS)) {
      const long received = receive_datagram(socket, buffer.data(), MAX_DATAGRAM);
      if (received > 0) {
        record_datagram(buffer.data(), static_cast<std::size_t>(received));
        split_datagram(buffer.data(), static_cast<std::size_t>(received), dispatch_report);
        std::fflush(console_stream());
      } else {
        // An error such as "connection refused" from a node that is not
        // running; pause as when nothing is waiting.
        sleep_milliseconds(IDLE_WAIT_MS);
      }
    }
    const std::time_t now = std::time(nullptr);
    if (now - last_subscription > KEEPALIVE_INTERVAL) {
      last_subscription = now;
      send_subscription(socket);
    }
  }
  finish_console();
  return 128 + ending_signal();
}

int ending_signal_caught() { return ending_signal(); }

void finish_console() {
  std::fflush(console_stream());
  if (trace_flag(TF_COLOUR)) {
    con_print("%s", COLOUR_RESET);
    std::fflush(console_stream());
  }
}
