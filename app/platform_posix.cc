// The platform layer on POSIX systems: BSD sockets, poll, signals.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "app/platform.h"
#include "app/record_file.h"
#include "app/settings.h"
#include "output/channels.h"

namespace {

volatile std::sig_atomic_t ending_signal_number = 0;
volatile std::sig_atomic_t reopen_requested = 0;

void note_ending_signal(int signal_number) { ending_signal_number = signal_number; }
void note_reopen(int) { reopen_requested = 1; }

int descriptor(NetSocket socket) { return static_cast<int>(socket); }

}  // namespace

bool start_network() { return true; }

NetSocket open_udp_socket(const char* failure_name) {
  const int socket_fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_fd < 0) {
    std::perror(failure_name);
    return NO_SOCKET;
  }
  return socket_fd;
}

bool set_non_blocking(NetSocket socket, const char* failure_name) {
  int non_blocking = 1;
  if (ioctl(descriptor(socket), FIONBIO, &non_blocking) == 0) return true;
  std::perror(failure_name);
  return false;
}

bool connect_socket(NetSocket socket, std::uint32_t address, std::uint16_t port,
                    const char* failure_name) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(address);
  peer.sin_port = htons(port);
  if (connect(descriptor(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
    return true;
  std::perror(failure_name);
  return false;
}

bool bind_local_port(NetSocket socket, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  return bind(descriptor(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

void request_receive_buffer(NetSocket socket, int bytes) {
  (void)setsockopt(descriptor(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void close_socket(NetSocket socket) { close(descriptor(socket)); }

bool wait_for_datagram(NetSocket socket, int timeout_ms) {
  pollfd ready{descriptor(socket), POLLIN, 0};
  return poll(&ready, 1, timeout_ms) > 0;
}

long receive_datagram(NetSocket socket, char* buffer, std::size_t size) {
  return static_cast<long>(recv(descriptor(socket), buffer, size, 0));
}

void send_datagram(NetSocket socket, const unsigned char* bytes, std::size_t size) {
  (void)send(descriptor(socket), bytes, size, 0);
}

void sleep_milliseconds(int milliseconds) {
  timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR && ending_signal_number == 0) {
  }
}

int open_for_append(const char* path) {
  constexpr mode_t READABLE_BY_ALL = 0644;
  return open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, READABLE_BY_ALL);
}

void prepare_console() {}

void install_ending_handlers() {
  struct sigaction action{};
  action.sa_handler = note_ending_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  action.sa_handler = note_reopen;
  sigaction(SIGUSR1, &action, nullptr);
}

int ending_signal() { return ending_signal_number; }

// logrotate has moved the files away: close them and open the paths again.
void reopen_files_if_asked() {
  if (reopen_requested == 0) return;
  reopen_requested = 0;
  reopen_record_file();
  if (settings.capture_file == nullptr) return;
  std::fclose(settings.capture_file);
  settings.capture_file = std::fopen(settings.capture_path, "a");
  if (settings.capture_file == nullptr)
    con_print("Can't open capture file '%s'\n", settings.capture_path);
}
