// Everything that differs between POSIX systems and Windows: the UDP socket,
// waiting and sleeping, the console, and how the client is told to end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

// The system's monotonic clock, read straight from the C library (or
// Windows' tick count): the standard library's steady_clock would load all of
// libstdc++ (about 1 MiB resident) for this one call.
struct MonotonicClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<MonotonicClock>;
  // The name that the standard library gives this member of every clock.
  // NOLINTNEXTLINE(readability-identifier-naming)
  static constexpr bool is_steady = true;
  static time_point now();
};

// A socket handle wide enough for both a POSIX descriptor and a Winsock SOCKET.
using NetSocket = std::intptr_t;
inline constexpr NetSocket NO_SOCKET = -1;

// Starts the socket library (Winsock 2.2 on Windows); false after printing
// why, and the client then ends with status -1.
bool start_network();

// Each of these prints the failure as perror does, under the given name,
// before returning false or NO_SOCKET.
NetSocket open_udp_socket(const char* failure_name);
bool set_non_blocking(NetSocket socket, const char* failure_name);
bool connect_socket(NetSocket socket, std::uint32_t address, std::uint16_t port,
                    const char* failure_name);

// Looks up a host name's first IPv4 address (host order); false when it has
// none. The only name lookup: the client's node host given by name.
bool resolve_ipv4_host(const char* name, std::uint32_t& address);

// Silent: the caller tries the next port or goes on without a binding.
bool bind_local_port(NetSocket socket, std::uint16_t port);
// Asks for a larger receive buffer; the system may cap or refuse it.
void request_receive_buffer(NetSocket socket, int bytes);
// The receive buffer the system granted, in usable bytes; -1 when unknown.
int granted_receive_buffer(NetSocket socket);
// Asks the system to tell, with each datagram, how many it has dropped on
// this socket for want of room; false where it keeps no such count.
bool count_dropped_datagrams(NetSocket socket);
void close_socket(NetSocket socket);

// Waits at most timeout for a datagram; returns early, false, when the
// client has been told to end or asked to reopen its files, or SIGUSR2
// or a key (with the console's keys taken, read here) has asked for
// tables: see take_console_requests. A signal held back since the last wait
// is let in here even when a datagram is already waiting, so the caller
// tests ending_signal() whatever the result.
bool wait_for_datagram(NetSocket socket, std::chrono::nanoseconds timeout);
// What receive_datagram gives when the system has reported the node's port
// unreachable (an ICMP error for a datagram sent on the connected socket).
inline constexpr long RECEIVE_REFUSED = -2;

// Receives one datagram without waiting: its length, RECEIVE_REFUSED, or 0
// or -1 for nothing waiting or any other error. `dropped_total` becomes the number of
// datagrams the system has dropped on this socket, as far as it has told
// (it stays 0 where the system keeps no count).
long receive_datagram(NetSocket socket, std::span<char> buffer, std::uint32_t& dropped_total);
// The result is not looked at: a lost datagram is sent again later.
void send_datagram(NetSocket socket, const unsigned char* bytes, std::size_t size);

void sleep_milliseconds(int milliseconds);

// Opens a file for appending whole writes of bytes as given (binary on
// Windows), creating it readable by all; the descriptor, or -1.
int open_for_append(const char* path);

// A lock that the system lets go when the process ends, however it ends
// (SIGKILL too): an exclusive lock on the file at `path`, created when
// missing, held for the rest of the process's life.
enum class FileLock { TAKEN, HELD_ELSEWHERE, FAILED };
FileLock lock_file(const char* path);

// A file written whole under a temporary name and then put in place of
// another in one step, so that a reader (or a crash) sees the old file or
// the new one, never a part. The temporary file must be in the same folder.
// On failure errno says why (file_error_text() in words).
// Creates or empties the temporary file; a descriptor, or -1.
int open_replacement(const char* temp_path);
// Writes every byte; false at the first write that fails.
bool write_replacement(int fd, const char* data, std::size_t size);
// Flushes the file to the disk, closes it and renames it over `path`, the
// rename flushed too; false at a failure, and the temporary file is gone.
bool put_replacement_in_place(int fd, const char* temp_path, const char* path);
// Closes and removes a temporary file that will not be put in place.
void discard_replacement(int fd, const char* temp_path);
// Why the last file operation failed, as the system words it.
const char* file_error_text();

// Makes the console show the escape sequences (Windows' virtual-terminal
// mode) and write standard output and error byte for byte as given.
void prepare_console();

// Catches what ends the client (signals, or Windows' console events mapped
// to the signal numbers a POSIX shell would see) so that the loop can end it
// between datagrams, and, on POSIX, SIGUSR1's request to reopen the capture
// and record files.
void install_ending_handlers();
// From here on the caught signals are held back except inside
// wait_for_datagram, so none slips in between the loop's test and its wait
// (POSIX; nothing to do on Windows).
void hold_signals_outside_waits();
// The signal number that asked the client to end, or 0.
int ending_signal();
// Reopens the capture and record files and saves the heard file if asked to
// since the last call (POSIX only: Windows has no SIGUSR1).
void reopen_files_if_asked();

// Keys on an interactive console, read between datagrams: the loop asks
// for them only when the tables are kept. Takes the console when standard
// input is one (on POSIX a terminal whose foreground this process is, so a
// client started with & never stops for the terminal): single keys without
// echo, Ctrl-C and the other keys that signal still working. False, and
// nothing changed, otherwise.
bool take_console_keys();
// Puts the console back exactly as take_console_keys found it; nothing
// when it took nothing.
void give_back_console_keys();
// Waits at most timeout for a key, a signal or the client's ending, where
// the read loop would sleep; a plain sleep when no keys are taken.
void wait_for_console_keys(std::chrono::nanoseconds timeout);
// Reads the keys that are waiting without waiting for more (the read loop
// between datagrams); wait_for_datagram reads them itself.
void read_waiting_keys();
// The requests (CONSOLE_REQUEST bits, app/console_keys.h) made by keys and
// by SIGUSR2 since the last call.
unsigned take_console_requests();
