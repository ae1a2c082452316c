// The platform layer on POSIX systems: BSD sockets, poll, signals.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "app/console_keys.h"
#include "app/heard_store.h"
#include "app/platform.h"
#include "app/receive_loop.h"
#include "app/record_file.h"
#include "app/settings.h"
#include "output/channels.h"

namespace {

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The signals caught, and the mask while the loop waits: once they are held
// back, they are let through there alone.
sigset_t caught_signals;
sigset_t waiting_mask;

volatile std::sig_atomic_t ending_signal_number = 0;
volatile std::sig_atomic_t reopen_requested = 0;
volatile std::sig_atomic_t tables_requested = 0;

void note_ending_signal(int signal_number) { ending_signal_number = signal_number; }
void note_reopen(int) { reopen_requested = 1; }
void note_tables_request(int) {
  tables_requested = 1;
}

// The console's keys: standard input's terminal modes as they were before
// they were taken, and what the keys read since asked for.
constexpr int KEYBOARD = STDIN_FILENO;
bool keys_taken = false;
termios modes_before{};
termios single_keys{};
unsigned key_requests = 0;

// Whether the keys are read now: not while the client runs in the
// background after Ctrl-Z and bg, where reading the terminal would stop it.
volatile std::sig_atomic_t keys_watched = 0;

bool in_foreground() {
  return tcgetpgrp(KEYBOARD) == getpgrp();
}

// Ctrl-Z: the shell gets its terminal back as it was, and the keys are
// taken again when the client goes on in the foreground (the shell may have
// set its own modes meanwhile). Each call here may be made in a handler.
void stop_with_modes_given_back(int) {
  keys_watched = 0;
  if (in_foreground()) (void)tcsetattr(KEYBOARD, TCSANOW, &modes_before);
  raise(SIGSTOP);
}
void take_keys_again(int) {
  keys_watched = in_foreground() ? 1 : 0;
  if (keys_watched != 0) (void)tcsetattr(KEYBOARD, TCSANOW, &single_keys);
}

void set_stop_handlers(void (*on_stop)(int), void (*on_continue)(int)) {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  action.sa_handler = on_stop;
  sigaction(SIGTSTP, &action, nullptr);
  action.sa_handler = on_continue;
  sigaction(SIGCONT, &action, nullptr);
}

// Reads what the terminal holds (poll has said it holds something). A
// terminal that has gone (hung up, closed) is let go, so that its endless
// readiness never turns the wait into a busy loop.
void read_keys() {
  std::array<char, 16> keys;
  const ssize_t count = read(KEYBOARD, keys.data(), keys.size());
  if (count <= 0) {
    if (count == 0 || (errno != EINTR && errno != EAGAIN)) give_back_console_keys();
    return;
  }
  for (ssize_t i = 0; i < count; ++i) key_requests |= console_request_for_key(keys[i]);
}

// What poll said of the terminal: keys to read, or a terminal gone.
void take_keyboard_readiness(short events) {
  if ((events & POLLIN) != 0)
    read_keys();
  else if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0)
    give_back_console_keys();
}

void wait_for_keys(int milliseconds) {
  pollfd ready{KEYBOARD, POLLIN, 0};
  if (poll(&ready, 1, milliseconds) > 0) take_keyboard_readiness(ready.revents);
}

int descriptor(NetSocket socket) { return static_cast<int>(socket); }

bool has_caught_signal(const sigset_t& signals) {
  for (const int signal_number : ENDING_SIGNALS)
    if (sigismember(&signals, signal_number) == 1) return true;
  return sigismember(&signals, SIGUSR1) == 1 || sigismember(&signals, SIGUSR2) == 1;
}

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

bool resolve_ipv4_host(const char* name, std::uint32_t& address) {
  addrinfo wanted{};
  wanted.ai_family = AF_INET;
  wanted.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &wanted, &found) != 0) return false;
  const bool any = found != nullptr && found->ai_family == AF_INET;
  if (any) address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(found);
  return any;
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

// getsockopt reports twice the usable size (the other half is the
// system's bookkeeping).
int granted_receive_buffer(NetSocket socket) {
  int granted = 0;
  socklen_t size = sizeof granted;
  if (getsockopt(descriptor(socket), SOL_SOCKET, SO_RCVBUF, &granted, &size) != 0) return -1;
  return granted / 2;
}

bool count_dropped_datagrams(NetSocket socket) {
  const int count_drops = 1;
  return setsockopt(descriptor(socket), SOL_SOCKET, SO_RXQ_OVFL, &count_drops,
                    sizeof count_drops) == 0;
}

void close_socket(NetSocket socket) { close(descriptor(socket)); }

bool wait_for_datagram(NetSocket socket, std::chrono::nanoseconds timeout) {
  const auto nanoseconds = timeout.count();
  const timespec wait{static_cast<std::time_t>(nanoseconds / 1000000000),
                      static_cast<long>(nanoseconds % 1000000000)};
  std::array<pollfd, 2> ready{{{descriptor(socket), POLLIN, 0}, {KEYBOARD, POLLIN, 0}}};
  const bool keys = keys_watched != 0;
  if (ppoll(ready.data(), keys ? 2 : 1, &wait, &waiting_mask) <= 0) return false;
  if (keys) take_keyboard_readiness(ready[1].revents);
  // ppoll lets a held signal in only when the signal cuts its wait short:
  // with a datagram already waiting it returns at once with the signal
  // still held, and under a steady stream of datagrams Ctrl-C would never
  // get through. A held one is let in here instead.
  sigset_t pending;
  if (sigpending(&pending) == 0 && has_caught_signal(pending)) {
    sigset_t held;
    sigprocmask(SIG_SETMASK, &waiting_mask, &held);
    sigprocmask(SIG_SETMASK, &held, nullptr);
  }
  return ready[0].revents != 0;
}

long receive_datagram(NetSocket socket, std::span<char> buffer, std::uint32_t& dropped_total) {
  iovec data{buffer.data(), buffer.size()};
  alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(std::uint32_t))> control;
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  const ssize_t received = recvmsg(descriptor(socket), &message, 0);
  if (received < 0) return errno == ECONNREFUSED ? RECEIVE_REFUSED : -1;
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
       item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SO_RXQ_OVFL) continue;
    std::uint32_t dropped;
    std::memcpy(&dropped, CMSG_DATA(item), sizeof dropped);
    // The count as it stood when this datagram was queued: never lower.
    if (dropped > dropped_total) dropped_total = dropped;
  }
  return static_cast<long>(received);
}

MonotonicClock::time_point MonotonicClock::now() {
  timespec reading{};
  clock_gettime(CLOCK_MONOTONIC, &reading);
  return time_point(std::chrono::seconds(reading.tv_sec) +
                    std::chrono::nanoseconds(reading.tv_nsec));
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

FileLock lock_file(const char* path) {
  constexpr mode_t READABLE_BY_ALL = 0644;
  // Never closed: the lock lasts as long as the process. flock rather than
  // fcntl, whose locks a close of any other descriptor of the file undoes.
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, READABLE_BY_ALL);
  if (fd < 0) return FileLock::FAILED;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return FileLock::TAKEN;
  const bool held = errno == EWOULDBLOCK;
  const int error = errno;
  close(fd);
  errno = error;
  return held ? FileLock::HELD_ELSEWHERE : FileLock::FAILED;
}

int open_replacement(const char* temp_path) {
  constexpr mode_t READABLE_BY_ALL = 0644;
  return open(temp_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, READABLE_BY_ALL);
}

bool write_replacement(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool put_replacement_in_place(int fd, const char* temp_path, const char* path) {
  // A rename that reaches the disk before the data would leave an empty
  // file after a power cut: the data first.
  if (fsync(fd) != 0) {
    discard_replacement(fd, temp_path);
    return false;
  }
  if (close(fd) != 0 || std::rename(temp_path, path) != 0) {
    const int error = errno;
    unlink(temp_path);
    errno = error;
    return false;
  }
  // The rename itself is in the folder's entry. Some file systems cannot
  // flush a folder; the file is in place all the same.
  const char* slash = std::strrchr(path, '/');
  const std::string folder =
      slash == nullptr ? "." : std::string(path, slash == path ? 1 : slash - path);
  const int folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd >= 0) {
    (void)fsync(folder_fd);
    close(folder_fd);
  }
  return true;
}

void discard_replacement(int fd, const char* temp_path) {
  const int error = errno;
  close(fd);
  unlink(temp_path);
  errno = error;
}

const char* file_error_text() {
  return std::strerror(errno);
}

void prepare_console() {}

void install_ending_handlers() {
  struct sigaction action{};
  action.sa_handler = note_ending_signal;
  sigemptyset(&action.sa_mask);
  sigemptyset(&caught_signals);
  for (const int signal_number : ENDING_SIGNALS) {
    sigaction(signal_number, &action, nullptr);
    sigaddset(&caught_signals, signal_number);
  }
  action.sa_handler = note_reopen;
  sigaction(SIGUSR1, &action, nullptr);
  sigaddset(&caught_signals, SIGUSR1);
  action.sa_handler = note_tables_request;
  sigaction(SIGUSR2, &action, nullptr);
  sigaddset(&caught_signals, SIGUSR2);
  sigprocmask(SIG_SETMASK, nullptr, &waiting_mask);
}

void hold_signals_outside_waits() { sigprocmask(SIG_BLOCK, &caught_signals, &waiting_mask); }

int ending_signal() { return ending_signal_number; }

// logrotate has moved the files away: close them and open the paths again.
// The heard list is saved then too, for a backup taken after the rotation.
void reopen_files_if_asked() {
  if (reopen_requested == 0) return;
  reopen_requested = 0;
  reopen_record_file();
  reopen_capture_file();
  save_heard_file();
}

bool take_console_keys() {
  if (keys_taken || isatty(KEYBOARD) == 0 || !in_foreground() ||
      tcgetattr(KEYBOARD, &modes_before) != 0)
    return false;
  single_keys = modes_before;
  // ISIG stays: Ctrl-C and Ctrl-\ end the client through their signals.
  single_keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  single_keys.c_cc[VMIN] = 1;
  single_keys.c_cc[VTIME] = 0;
  set_stop_handlers(stop_with_modes_given_back, take_keys_again);
  if (tcsetattr(KEYBOARD, TCSANOW, &single_keys) != 0) {
    set_stop_handlers(SIG_DFL, SIG_DFL);
    return false;
  }
  keys_taken = true;
  keys_watched = 1;
  // An exit() anywhere still leaves the terminal as it was found.
  static const bool given_back_at_exit = std::atexit(give_back_console_keys) == 0;
  (void)given_back_at_exit;
  return true;
}

void give_back_console_keys() {
  if (!keys_taken) return;
  keys_taken = false;
  keys_watched = 0;
  set_stop_handlers(SIG_DFL, SIG_DFL);
  // In the background the terminal is the shell's, with the shell's modes.
  if (in_foreground()) (void)tcsetattr(KEYBOARD, TCSANOW, &modes_before);
}

void wait_for_console_keys(std::chrono::nanoseconds timeout) {
  const int milliseconds =
      static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(timeout).count());
  if (keys_watched == 0)
    sleep_milliseconds(milliseconds);
  else
    wait_for_keys(milliseconds);
}

void read_waiting_keys() {
  if (keys_watched != 0) wait_for_keys(0);
}

unsigned take_console_requests() {
  unsigned requests = key_requests;
  key_requests = 0;
  if (tables_requested != 0) {
    tables_requested = 0;
    requests |= HEARD_ALL;
  }
  return requests;
}
