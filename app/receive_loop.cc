// The receive loop: poll, receive, split, renew the subscription.
#include "app/receive_loop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <ctime>

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

volatile std::sig_atomic_t ending_signal = 0;
volatile std::sig_atomic_t reopen_capture = 0;

void note_ending_signal(int signal_number) {
  ending_signal = signal_number;
}
void note_reopen(int) {
  reopen_capture = 1;
}

void pause_briefly() {
  const timespec pause{0, IDLE_WAIT_MS * 1000000L};
  nanosleep(&pause, nullptr);
}

// logrotate has moved the file away: close it and open the path again.
void reopen_capture_file() {
  if (settings.capture_file == nullptr) return;
  std::fclose(settings.capture_file);
  settings.capture_file = std::fopen(settings.capture_path, "a");
  if (settings.capture_file == nullptr)
    con_print("Can't open capture file '%s'\n", settings.capture_path);
}

void send_subscription(int socket_fd) {
  unsigned char subscription[2];
  encode_subscription(settings.port_filter, subscription);
  // A lost subscription is simply sent again at the next renewal.
  (void)send(socket_fd, subscription, sizeof subscription, 0);
}

}  // namespace

void encode_subscription(int port, unsigned char bytes[2]) {
  // Truncating division, as the node expects for 0 to 65535; other values
  // keep their low bits instead of overflowing a byte.
  bytes[0] = static_cast<unsigned char>((port / 256) & 0xFF);
  bytes[1] = static_cast<unsigned char>((port % 256) & 0xFF);
}

int open_trace_socket(std::uint32_t server_address) {
  const int socket_fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_fd < 0) {
    std::perror("Socket");
    return -1;
  }
  int non_blocking = 1;
  if (ioctl(socket_fd, FIONBIO, &non_blocking) != 0) {
    std::perror("ioctlsocket");
    close(socket_fd);
    return -1;
  }
  (void)setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUF, &SOCKET_RECEIVE_BUFFER,
                   sizeof SOCKET_RECEIVE_BUFFER);
  // With every port of the range taken the system picks one at connect.
  for (int port = LOCAL_PORT_FIRST; port <= LOCAL_PORT_LAST; ++port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(socket_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) break;
  }
  sockaddr_in node{};
  node.sin_family = AF_INET;
  node.sin_addr.s_addr = htonl(server_address);
  node.sin_port = htons(TRACE_PORT);
  if (connect(socket_fd, reinterpret_cast<const sockaddr*>(&node), sizeof node) != 0) {
    std::perror("connect");
    close(socket_fd);
    return -1;
  }
  return socket_fd;
}

void install_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = note_ending_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  action.sa_handler = note_reopen;
  sigaction(SIGUSR1, &action, nullptr);
}

int run_receive_loop(int socket_fd) {
  std::array<char, RECEIVE_BUFFER_SIZE> buffer;
  std::time_t last_subscription = 0;
  while (ending_signal == 0) {
    if (reopen_capture != 0) {
      reopen_capture = 0;
      reopen_capture_file();
      reopen_record_file();
    }
    // Wait for a datagram rather than sleeping blind, so one is handled as
    // soon as it arrives.
    pollfd ready{socket_fd, POLLIN, 0};
    const bool readable = poll(&ready, 1, IDLE_WAIT_MS) > 0;
    if (readable) {
      const ssize_t received = recv(socket_fd, buffer.data(), MAX_DATAGRAM, 0);
      if (received > 0) {
        record_datagram(buffer.data(), static_cast<std::size_t>(received));
        split_datagram(buffer.data(), static_cast<std::size_t>(received), dispatch_report);
        std::fflush(console_stream());
      } else {
        // An error such as "connection refused" from a node that is not
        // running; pause as when nothing is waiting.
        pause_briefly();
      }
    }
    const std::time_t now = std::time(nullptr);
    if (now - last_subscription > KEEPALIVE_INTERVAL) {
      last_subscription = now;
      send_subscription(socket_fd);
    }
  }
  finish_console();
  return 128 + ending_signal;
}

int ending_signal_caught() { return ending_signal; }

void finish_console() {
  std::fflush(console_stream());
  if (trace_flag(TF_COLOUR)) {
    con_print("%s", COLOUR_RESET);
    std::fflush(console_stream());
  }
}
