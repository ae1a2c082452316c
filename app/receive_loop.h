// The UDP side: the socket towards the node's trace service and the loop.
#pragma once

#include <cstddef>
#include <cstdint>

#include "intake/datagram.h"

// The trace service's UDP port on the node's host.
inline constexpr std::uint16_t TRACE_PORT = 7373;

// The client's own end is bound to the first free port of this range.
inline constexpr std::uint16_t LOCAL_PORT_FIRST = 32000;
inline constexpr std::uint16_t LOCAL_PORT_LAST = 33000;

// A subscription goes out when more than this many seconds have passed, so
// one every 11 seconds of the clock.
inline constexpr long KEEPALIVE_INTERVAL = 10;

// Opens and connects the socket; returns it, or -1 after printing why.
int open_trace_socket(std::uint32_t server_address);

// The two subscription bytes for a port: big-endian, 0 for all ports.
void encode_subscription(int port, unsigned char bytes[2]);

// Catches the signals that end the client (and SIGUSR1, which reopens the
// capture file) so that the loop can act on them between datagrams.
void install_signal_handlers();

// Receives and handles datagrams until a terminating signal; returns the
// process's exit status for that signal.
int run_receive_loop(int socket_fd);

// The terminating signal caught so far, 0 while none.
int ending_signal_caught();

// Flushes the console and, with colour on, resets its colour: how every
// run ends.
void finish_console();
