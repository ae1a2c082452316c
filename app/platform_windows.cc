// The platform layer on Windows: Winsock 2.2, the console's virtual-terminal
// mode, and console control events in place of signals.
// Brings in windows.h too, after the socket declarations it must follow.
#include <winsock2.h>
// After winsock2.h, which it extends: getaddrinfo.
#include <ws2tcpip.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/console_keys.h"
#include "app/platform.h"
#include "app/platform_windows.h"
#include "output/channels.h"

namespace {

// Windows has no SIGHUP; closing the console stands for it, with the number
// and so the exit status (129) that a POSIX shell gives a hung-up client.
constexpr int SIGNAL_HANGUP = 1;

// A console event arrives on a thread of its own while the loop waits; the
// wait is cut into slices this long so that the loop sees it soon.
constexpr int WAIT_SLICE_MS = 50;

// After a close event Windows ends the process once the handler returns (and
// at the latest some seconds later): the handler holds on this long so that
// the loop can reset the colour and return from main first.
constexpr DWORD CLOSE_GRACE_MS = 4000;

volatile LONG ending_signal_number = 0;

SOCKET handle(NetSocket socket) { return static_cast<SOCKET>(socket); }

// The console's keys: its input handle while they are taken, and what they
// asked for since. The console's modes are never changed: ReadConsoleInput
// takes key presses whatever the input mode, line mode and echo concern
// ReadConsole and ReadFile alone, and Ctrl-C stays a control event.
HANDLE keyboard = nullptr;
unsigned key_requests = 0;

// The socket's readiness as an event that WaitForMultipleObjects can wait
// on beside the console; made when the loop first waits with keys taken.
WSAEVENT socket_event = WSA_INVALID_EVENT;
NetSocket event_socket = NO_SOCKET;

// Takes every input record waiting (not only the keys, so that the
// console's handle is not left signalled); a console gone is let go.
void read_keys() {
  DWORD waiting = 0;
  while (keyboard != nullptr) {
    if (GetNumberOfConsoleInputEvents(keyboard, &waiting) == 0) {
      give_back_console_keys();
      return;
    }
    if (waiting == 0) return;
    std::array<INPUT_RECORD, 16> records;
    DWORD count = 0;
    if (ReadConsoleInputA(keyboard, records.data(), static_cast<DWORD>(records.size()), &count) ==
            0 ||
        count == 0) {
      give_back_console_keys();
      return;
    }
    key_requests |= console_requests_from_input(records.data(), count);
  }
}

void read_keys_if_waiting() {
  if (keyboard != nullptr && WaitForSingleObject(keyboard, 0) == WAIT_OBJECT_0) read_keys();
}

bool datagram_within(NetSocket socket, int slice_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(handle(socket), &readable);
  timeval limit{slice_ms / 1000, (slice_ms % 1000) * 1000};
  return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

// The socket's event, selected for the datagrams of this socket; false
// when Winsock gives none.
bool socket_event_for(NetSocket socket) {
  if (socket_event == WSA_INVALID_EVENT) socket_event = WSACreateEvent();
  if (socket_event == WSA_INVALID_EVENT) return false;
  if (event_socket == socket) return true;
  if (WSAEventSelect(handle(socket), socket_event, FD_READ) != 0) return false;
  event_socket = socket;
  return true;
}

// One slice of the wait on the socket and the console together. A datagram
// wins over a key only for as long as it takes to read the keys too, so
// that a steady stream never keeps them out.
bool datagram_or_key_within(NetSocket socket, int slice_ms) {
  if (!socket_event_for(socket)) {
    const bool ready = datagram_within(socket, slice_ms);
    read_keys_if_waiting();
    return ready;
  }
  const std::array<HANDLE, 2> handles{socket_event, keyboard};
  const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                             FALSE, static_cast<DWORD>(slice_ms));
  read_keys_if_waiting();
  if (woken != WAIT_OBJECT_0) return false;
  // Resets the event; a receive that leaves a datagram waiting sets it again.
  WSANETWORKEVENTS happened;
  WSAEnumNetworkEvents(handle(socket), socket_event, &happened);
  return true;
}

struct SocketErrorText {
  int code;
  const char* text;
};

// The Winsock errors that the socket calls here can meet, with the text that
// perror gives for the same error on Linux, so that a failure reads alike.
constexpr std::array<SocketErrorText, 16> LINUX_ERROR_TEXTS{{
    {WSAEACCES, "Permission denied"},
    {WSAEADDRINUSE, "Address already in use"},
    {WSAEADDRNOTAVAIL, "Cannot assign requested address"},
    {WSAEAFNOSUPPORT, "Address family not supported by protocol"},
    {WSAECONNREFUSED, "Connection refused"},
    {WSAEFAULT, "Bad address"},
    {WSAEHOSTUNREACH, "No route to host"},
    {WSAEINVAL, "Invalid argument"},
    {WSAEMFILE, "Too many open files"},
    {WSAENETDOWN, "Network is down"},
    {WSAENETUNREACH, "Network is unreachable"},
    {WSAENOBUFS, "No buffer space available"},
    {WSAENOTSOCK, "Socket operation on non-socket"},
    {WSAEPROTONOSUPPORT, "Protocol not supported"},
    {WSAEPROTOTYPE, "Protocol wrong type for socket"},
    {WSAESOCKTNOSUPPORT, "Socket type not supported"},
}};

// perror's form, "name: message": Linux's text where Linux has the error,
// else Windows' own.
void print_socket_error(const char* failure_name) {
  const int code = WSAGetLastError();
  for (const SocketErrorText& known : LINUX_ERROR_TEXTS) {
    if (known.code == code) {
      std::fprintf(stderr, "%s: %s\n", failure_name, known.text);
      return;
    }
  }
  char message[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(code), 0, message,
                                      sizeof message, nullptr);
  std::size_t end = length;
  while (end > 0 && (message[end - 1] == '\n' || message[end - 1] == '\r' ||
                     message[end - 1] == ' ' || message[end - 1] == '.'))
    --end;
  message[end] = '\0';
  if (end == 0) std::snprintf(message, sizeof message, "Winsock error %d", code);
  std::fprintf(stderr, "%s: %s\n", failure_name, message);
}

// The C library's word for a failure of a Windows call, so that
// file_error_text() tells either kind.
void set_errno_from_last_error() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      errno = EACCES;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    default:
      errno = EIO;
      break;
  }
}

BOOL WINAPI note_console_event(DWORD event) {
  const int signal_number = signal_for_console_event(event);
  if (signal_number == 0) return FALSE;
  InterlockedExchange(&ending_signal_number, signal_number);
  if (event == CTRL_CLOSE_EVENT) Sleep(CLOSE_GRACE_MS);
  return TRUE;
}

}  // namespace

unsigned console_requests_from_input(const INPUT_RECORD* records, unsigned long count) {
  unsigned requests = 0;
  for (unsigned long i = 0; i < count; ++i) {
    if (records[i].EventType != KEY_EVENT || records[i].Event.KeyEvent.bKeyDown == 0) continue;
    requests |= console_request_for_key(records[i].Event.KeyEvent.uChar.AsciiChar);
  }
  return requests;
}

int signal_for_console_event(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT: return SIGINT;
    case CTRL_BREAK_EVENT: return SIGTERM;
    case CTRL_CLOSE_EVENT: return SIGNAL_HANGUP;
    default: return 0;
  }
}

bool start_network() {
  WSADATA details;
  const int code = WSAStartup(MAKEWORD(2, 2), &details);
  if (code == 0) return true;
  con_print("Winsock initialisation error %d", code);
  return false;
}

NetSocket open_udp_socket(const char* failure_name) {
  const SOCKET socket_handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_handle == INVALID_SOCKET) {
    print_socket_error(failure_name);
    return NO_SOCKET;
  }
  return static_cast<NetSocket>(socket_handle);
}

bool set_non_blocking(NetSocket socket, const char* failure_name) {
  u_long non_blocking = 1;
  if (ioctlsocket(handle(socket), FIONBIO, &non_blocking) == 0) return true;
  print_socket_error(failure_name);
  return false;
}

bool connect_socket(NetSocket socket, std::uint32_t address, std::uint16_t port,
                    const char* failure_name) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(address);
  peer.sin_port = htons(port);
  if (connect(handle(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
    return true;
  print_socket_error(failure_name);
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
  return bind(handle(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

void request_receive_buffer(NetSocket socket, int bytes) {
  (void)setsockopt(handle(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                   sizeof bytes);
}

void close_socket(NetSocket socket) { closesocket(handle(socket)); }

int granted_receive_buffer(NetSocket socket) {
  int granted = 0;
  int size = sizeof granted;
  if (getsockopt(handle(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&granted), &size) !=
      0)
    return -1;
  return granted;
}

// Windows keeps no count of the datagrams it drops for want of room.
bool count_dropped_datagrams(NetSocket) {
  return false;
}

bool wait_for_datagram(NetSocket socket, std::chrono::nanoseconds timeout) {
  // Whole milliseconds, rounded up so that a renewal is never early.
  long long left = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
  do {
    const int slice = static_cast<int>(std::min<long long>(left, WAIT_SLICE_MS));
    if (keyboard == nullptr ? datagram_within(socket, slice)
                            : datagram_or_key_within(socket, slice))
      return true;
    left -= slice;
  } while (left > 0 && ending_signal() == 0 && key_requests == 0);
  return false;
}

long receive_datagram(NetSocket socket, std::span<char> buffer, std::uint32_t&) {
  const int received = recv(handle(socket), buffer.data(), static_cast<int>(buffer.size()), 0);
  if (received != SOCKET_ERROR) return received;
  // Windows reports a port unreachable on a UDP socket as a reset; Wine
  // passes on the host's "connection refused".
  const int error = WSAGetLastError();
  return error == WSAECONNRESET || error == WSAECONNREFUSED ? RECEIVE_REFUSED : -1;
}

MonotonicClock::time_point MonotonicClock::now() {
  return time_point(std::chrono::milliseconds(GetTickCount64()));
}

void send_datagram(NetSocket socket, const unsigned char* bytes, std::size_t size) {
  (void)send(handle(socket), reinterpret_cast<const char*>(bytes), static_cast<int>(size), 0);
}

void sleep_milliseconds(int milliseconds) {
  for (int left = milliseconds; left > 0 && ending_signal() == 0; left -= WAIT_SLICE_MS)
    Sleep(static_cast<DWORD>(std::min(left, WAIT_SLICE_MS)));
}

int open_for_append(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
}

FileLock lock_file(const char* path) {
  // Never closed: Windows lets the lock go when the process ends.
  const HANDLE file =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    set_errno_from_last_error();
    return FileLock::FAILED;
  }
  OVERLAPPED start{};
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start) != 0)
    return FileLock::TAKEN;
  const bool held = GetLastError() == ERROR_LOCK_VIOLATION;
  set_errno_from_last_error();
  CloseHandle(file);
  return held ? FileLock::HELD_ELSEWHERE : FileLock::FAILED;
}

int open_replacement(const char* temp_path) {
  return _open(temp_path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

bool write_replacement(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, 1U << 20));
    const int written = _write(fd, data, chunk);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool put_replacement_in_place(int fd, const char* temp_path, const char* path) {
  if (_commit(fd) != 0) {
    discard_replacement(fd, temp_path);
    return false;
  }
  if (_close(fd) != 0) {
    const int error = errno;
    _unlink(temp_path);
    errno = error;
    return false;
  }
  // WRITE_THROUGH: the call returns once the move is on the disk.
  if (MoveFileExA(temp_path, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    set_errno_from_last_error();
    const int error = errno;
    _unlink(temp_path);
    errno = error;
    return false;
  }
  return true;
}

void discard_replacement(int fd, const char* temp_path) {
  const int error = errno;
  _close(fd);
  _unlink(temp_path);
  errno = error;
}

const char* file_error_text() {
  return std::strerror(errno);
}

void prepare_console() {
  // Text mode would turn every "\n" into CR LF, on the console and in a
  // redirected file alike; the capture file alone is a text file.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || GetConsoleMode(console, &mode) == 0) return;
  SetConsoleMode(console, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void install_ending_handlers() { SetConsoleCtrlHandler(note_console_event, TRUE); }

// Console events arrive on a thread of their own; nothing to hold back.
void hold_signals_outside_waits() {}

int ending_signal() { return static_cast<int>(ending_signal_number); }

// Windows has no SIGUSR1: nothing asks for the files to be reopened.
void reopen_files_if_asked() {}

bool take_console_keys() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (keyboard != nullptr || input == nullptr || input == INVALID_HANDLE_VALUE ||
      GetConsoleMode(input, &mode) == 0)
    return false;
  keyboard = input;
  return true;
}

void give_back_console_keys() {
  keyboard = nullptr;
}

void wait_for_console_keys(std::chrono::nanoseconds timeout) {
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
  if (keyboard == nullptr) {
    sleep_milliseconds(static_cast<int>(milliseconds));
    return;
  }
  if (WaitForSingleObject(keyboard, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0) read_keys();
}

void read_waiting_keys() {
  read_keys_if_waiting();
}

// Windows has no SIGUSR2: the keys alone ask for tables.
unsigned take_console_requests() {
  const unsigned requests = key_requests;
  key_requests = 0;
  return requests;
}
