// The receive loop: poll, receive, split, renew the subscription.
#include "app/receive_loop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/settings.h"
#include "intake/splitter.h"
#include "output/channels.h"

namespace {

// Room for a whole datagram and the terminator that the splitter writes.
constexpr std::size_t RECEIVE_BUFFER_SIZE = 1600;

constexpr char COLOUR_RESET[] = "\033[0m";

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR2};

volatile std::sig_atomic_t ending_signal = 0;
volatile std::sig_atomic_t reopen_capture = 0;

void note_ending_signal(int signal_number) { ending_signal = signal_number; }
void note_reopen(int) { reopen_capture = 1; }

// The signal mask while the loop waits: the caught signals are let through
// there alone.
sigset_t waiting_mask;

// Waits until the socket is readable, a caught signal arrives or the time is
// up; true when a datagram (or a receive error) is waiting.
bool wait_for_datagram(int socket_fd, RenewalSchedule::Clock::duration timeout) {
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
  const timespec wait{static_cast<std::time_t>(nanoseconds / 1000000000),
                      static_cast<long>(nanoseconds % 1000000000)};
  pollfd ready{socket_fd, POLLIN, 0};
  return ppoll(&ready, 1, &wait, &waiting_mask) > 0;
}

void send_subscription(int socket_fd) {
  unsigned char subscription[2];
  encode_subscription(settings.port_filter, subscription);
  // A lost subscription is simply sent again at the next renewal.
  (void)send(socket_fd, subscription, sizeof subscription, 0);
}

// The system grants at most net.core.rmem_max, and getsockopt reports twice
// the usable size (the other half is its bookkeeping).
void note_small_receive_buffer(int socket_fd, int asked) {
  int granted = 0;
  socklen_t size = sizeof granted;
  if (getsockopt(socket_fd, SOL_SOCKET, SO_RCVBUF, &granted, &size) != 0) return;
  if (granted / 2 < asked)
    con_print("[Receive buffer is %d bytes, not %d: raise net.core.rmem_max to hold bursts]\n",
              granted / 2, asked);
}

}  // namespace

MonotonicClock::time_point MonotonicClock::now() {
  timespec reading{};
  clock_gettime(CLOCK_MONOTONIC, &reading);
  return time_point(std::chrono::seconds(reading.tv_sec) + std::chrono::nanoseconds(reading.tv_nsec));
}

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

int open_trace_socket(std::uint32_t server_address, int receive_buffer) {
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
  (void)setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  if (trace_flag(TF_WARNINGS)) note_small_receive_buffer(socket_fd, receive_buffer);
  // Each datagram then carries the count of those dropped for want of room.
  const int count_drops = 1;
  (void)setsockopt(socket_fd, SOL_SOCKET, SO_RXQ_OVFL, &count_drops, sizeof count_drops);
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

ssize_t receive_datagram(int socket_fd, std::span<char> buffer, std::uint32_t& dropped_total) {
  iovec data{buffer.data(), buffer.size()};
  alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(std::uint32_t))> control;
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  const ssize_t received = recvmsg(socket_fd, &message, 0);
  if (received < 0) return -1;
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
       item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SO_RXQ_OVFL) continue;
    std::uint32_t dropped;
    std::memcpy(&dropped, CMSG_DATA(item), sizeof dropped);
    // The count as it stood when this datagram was queued: never lower.
    if (dropped > dropped_total) dropped_total = dropped;
  }
  return received;
}

void reopen_capture_file() {
  if (settings.capture_path[0] == '\0') return;
  if (settings.capture_file != nullptr) std::fclose(settings.capture_file);
  settings.capture_file = open_capture_stream(settings.capture_path, false);
  if (settings.capture_file == nullptr) con_print(CAPTURE_OPEN_FAILURE, settings.capture_path);
}

void install_signal_handlers() {
  struct sigaction action{};
  action.sa_handler = note_ending_signal;
  sigemptyset(&action.sa_mask);
  sigset_t caught;
  sigemptyset(&caught);
  for (const int signal_number : ENDING_SIGNALS) {
    sigaction(signal_number, &action, nullptr);
    sigaddset(&caught, signal_number);
  }
  action.sa_handler = note_reopen;
  sigaction(SIGUSR1, &action, nullptr);
  sigaddset(&caught, SIGUSR1);
  sigprocmask(SIG_BLOCK, &caught, &waiting_mask);
}

int run_receive_loop(int socket_fd) {
  using Clock = RenewalSchedule::Clock;
  std::array<char, RECEIVE_BUFFER_SIZE> buffer;
  RenewalSchedule renewals;
  std::uint32_t dropped_total = 0;
  DropWarnings drop_warnings;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (renewals.due(now)) {
      renewals.sent(now);
      send_subscription(socket_fd);
    }
    Clock::time_point wake = renewals.next_due();
    if (trace_flag(TF_WARNINGS)) {
      drop_warnings.check(dropped_total, now);
      wake = std::min(wake, drop_warnings.next_due(dropped_total));
    }
    // Asleep until a datagram, a signal or the next renewal: no wake-ups
    // while the node is quiet.
    const bool readable =
        wait_for_datagram(socket_fd, std::max(wake - now, Clock::duration::zero()));
    if (ending_signal != 0) break;
    if (reopen_capture != 0) {
      reopen_capture = 0;
      reopen_capture_file();
    }
    if (!readable) continue;
    // A receive error, such as "connection refused" while the node is not
    // running, is consumed here and the loop goes on.
    const ssize_t received =
        receive_datagram(socket_fd, std::span<char>(buffer.data(), MAX_DATAGRAM), dropped_total);
    if (received > 0) {
      split_datagram(buffer.data(), static_cast<std::size_t>(received));
      std::fflush(console_stream());
    }
  }
  std::fflush(console_stream());
  if (dropped_total != 0) con_print("%u datagrams dropped by kernel\n", dropped_total);
  if (trace_flag(TF_COLOUR)) con_print("%s", COLOUR_RESET);
  std::fflush(console_stream());
  return 128 + ending_signal;
}
