// Live KISS sources: a TNC's TCP port and a serial or pseudo-terminal device.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/subscribers.h"

namespace kiss {

inline constexpr uint16_t DEFAULT_KISS_TCP_PORT = 8001;
inline constexpr unsigned DEFAULT_BAUD = 9600;

// "HOST" or "HOST:PORT"; the port defaults to DEFAULT_KISS_TCP_PORT.
std::optional<sim::Endpoint> parse_kiss_tcp(std::string_view text, std::string& error);

struct SerialDevice {
  std::string path;
  unsigned baud = DEFAULT_BAUD;
};

// "DEVICE" or "DEVICE:BAUD" with one of the usual rates.
std::optional<SerialDevice> parse_serial(std::string_view text, std::string& error);

// A non-blocking TCP socket whose connection to `tnc` is under way (or
// made), or -1 with `error` set.
int start_tcp_connect(sim::Endpoint tnc, std::string& error);

// Once the socket is writable: whether the connection was made; `error`
// says why not.
bool tcp_connected(int fd, std::string& error);

// The device opened non-blocking, in raw mode at its rate when it is a
// terminal, or -1 with `error` set.
int open_serial(const SerialDevice& device, std::string& error);

}  // namespace kiss
