// Live KISS sources: a TNC's TCP port and a serial or pseudo-terminal device.
#include "kiss/sources.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/log.h"
#include "sim/options.h"
#include "sim/udp.h"

namespace kiss {

namespace {

struct BaudRate {
  unsigned rate;
  speed_t code;
};
constexpr BaudRate BAUD_RATES[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

}  // namespace

std::optional<sim::Endpoint> parse_kiss_tcp(std::string_view text, std::string& error) {
  std::string with_port(text);
  if (text.find(':') == std::string_view::npos) {
    with_port += ":" + std::to_string(DEFAULT_KISS_TCP_PORT);
  }
  return sim::parse_endpoint(with_port, error);
}

std::optional<SerialDevice> parse_serial(std::string_view text, std::string& error) {
  SerialDevice device{std::string(text), DEFAULT_BAUD};
  if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    const auto rate = sim::parse_count(text.substr(colon + 1), 1000000);
    const bool known =
        rate && std::ranges::any_of(BAUD_RATES, [&](const BaudRate& b) { return b.rate == *rate; });
    if (!known) {
      error = sim::format_text("bad rate in '%.*s' (1200 to 115200)", static_cast<int>(text.size()),
                               text.data());
      return std::nullopt;
    }
    device.path = std::string(text.substr(0, colon));
    device.baud = static_cast<unsigned>(*rate);
  }
  if (device.path.empty()) {
    error = "--kiss-serial needs a device";
    return std::nullopt;
  }
  return device;
}

int start_tcp_connect(sim::Endpoint tnc, std::string& error) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = sim::format_text("socket: %s", std::strerror(errno));
    return -1;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(tnc.address);
  address.sin_port = htons(tnc.port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    error = sim::format_text("cannot connect to %s: %s", sim::endpoint_text(tnc).c_str(),
                             std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

bool tcp_connected(int fd, std::string& error) {
  int fault = 0;
  socklen_t size = sizeof fault;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &fault, &size) != 0) fault = errno;
  if (fault == 0) return true;
  error = std::strerror(fault);
  return false;
}

int open_serial(const SerialDevice& device, std::string& error) {
  const int fd = open(device.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = sim::format_text("cannot open %s: %s", device.path.c_str(), std::strerror(errno));
    return -1;
  }
  termios mode{};
  if (tcgetattr(fd, &mode) == 0) {
    cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    for (const BaudRate& rate : BAUD_RATES) {
      if (rate.rate == device.baud) cfsetspeed(&mode, rate.code);
    }
    if (tcsetattr(fd, TCSANOW, &mode) != 0) {
      error = sim::format_text("cannot set %s to raw mode: %s", device.path.c_str(),
                               std::strerror(errno));
      close(fd);
      return -1;
    }
  }
  return fd;
}

}  // namespace kiss
