// UDP sockets of pellarin-sim: address parsing, the service socket and the
// recorder's socket towards a node.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/subscribers.h"

namespace sim {

// The trace service's UDP port on a node's host.
inline constexpr uint16_t TRACE_PORT = 7373;

// Reads "ADDR" or "ADDR:PORT" (ADDR a dotted IPv4 address or a host name
// that resolves to one); the port defaults to TRACE_PORT.
std::optional<Endpoint> parse_endpoint(std::string_view text, std::string& error);

// A non-blocking UDP socket bound to `local`, or -1 with `error` set.
int open_service_socket(Endpoint local, std::string& error);

// A non-blocking UDP socket connected to `node`, so that it hears only
// that node, or -1 with `error` set.
int open_node_socket(Endpoint node, std::string& error);

// The largest UDP payload: reads take whole datagrams, so an oversized one
// is seen at its true length.
inline constexpr size_t MAX_UDP_PAYLOAD = 65535;

struct Received {
  Endpoint from;
  size_t length = 0;
};

// Waits at most `timeout_ms` for the socket to become readable (0 polls
// once). False on timeout or when a signal cut the wait short.
bool wait_readable(int fd, int timeout_ms);

// Takes one waiting datagram into `buffer`, or nothing when none waits.
std::optional<Received> receive_datagram(int fd, char* buffer, size_t size);

bool send_datagram(int fd, Endpoint to, std::string_view bytes);

}  // namespace sim
