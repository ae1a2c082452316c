// UDP sockets of pellarin-sim: address parsing, the service socket and the
// recorder's socket towards a node.
#include "sim/udp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/log.h"

namespace sim {

namespace {

sockaddr_in to_sockaddr(Endpoint endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.address);
  address.sin_port = htons(endpoint.port);
  return address;
}

int open_socket(std::string& error) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) error = format_text("socket: %s", std::strerror(errno));
  return fd;
}

}  // namespace

std::optional<Endpoint> parse_endpoint(std::string_view text, std::string& error) {
  std::string host(text);
  Endpoint endpoint{0, TRACE_PORT};
  const size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    host = std::string(text.substr(0, colon));
    const std::string_view digits = text.substr(colon + 1);
    unsigned long port = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9' || port > 65535) {
        port = 65536;
        break;
      }
      port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (digits.empty() || port == 0 || port > 65535) {
      error = format_text("bad port in '%.*s' (1 to 65535)", static_cast<int>(text.size()),
                          text.data());
      return std::nullopt;
    }
    endpoint.port = static_cast<uint16_t>(port);
  }
  if (host.empty()) {
    error = format_text("missing address in '%.*s'", static_cast<int>(text.size()), text.data());
    return std::nullopt;
  }
  in_addr numeric{};
  if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
    endpoint.address = ntohl(numeric.s_addr);
    return endpoint;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) {
    error = format_text("cannot resolve '%s': %s", host.c_str(), gai_strerror(status));
    return std::nullopt;
  }
  endpoint.address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(found);
  return endpoint;
}

int open_service_socket(Endpoint local, std::string& error) {
  const int fd = open_socket(error);
  if (fd < 0) return -1;
  const sockaddr_in address = to_sockaddr(local);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = format_text("cannot bind %s: %s", endpoint_text(local).c_str(), std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

int open_node_socket(Endpoint node, std::string& error) {
  const int fd = open_socket(error);
  if (fd < 0) return -1;
  const sockaddr_in address = to_sockaddr(node);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error =
        format_text("cannot connect to %s: %s", endpoint_text(node).c_str(), std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

bool wait_readable(int fd, int timeout_ms) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, timeout_ms) > 0;
}

std::optional<Received> receive_datagram(int fd, char* buffer, size_t size) {
  sockaddr_in from{};
  socklen_t from_size = sizeof from;
  const ssize_t n = recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
  if (n < 0) return std::nullopt;
  return Received{Endpoint{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)},
                  static_cast<size_t>(n)};
}

bool send_datagram(int fd, Endpoint to, std::string_view bytes) {
  const sockaddr_in address = to_sockaddr(to);
  return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == static_cast<ssize_t>(bytes.size());
}

}  // namespace sim
