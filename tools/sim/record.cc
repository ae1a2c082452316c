// pellarin-sim record: subscribes to a real node's trace service and writes
// what it sends to a datagram file, with arrival times.
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "intake/datagram.h"
#include "intake/datagram_file.h"
#include "sim/commands.h"
#include "sim/log.h"
#include "sim/options.h"
#include "sim/service.h"

namespace sim {

namespace {

constexpr char HELP[] =
    "Usage: pellarin-sim record --node ADDR[:PORT] [options]\n"
    "\n"
    "Subscribes to the trace service of the node at ADDR (port 7373 unless\n"
    "given), renews the subscription every 11 seconds like the client, and\n"
    "writes every datagram received, with its arrival time in milliseconds\n"
    "since the start, as a datagram file. Ends after the duration or on\n"
    "SIGINT/SIGTERM, leaving the file complete.\n"
    "\n"
    "Options:\n"
    "  --node ADDR[:PORT]  the node's trace service (required)\n"
    "  --port N            the node port to subscribe to (default 0 = all ports)\n"
    "  --out FILE          the datagram file to write (default standard output)\n"
    "  --duration SECONDS  stop after this long (default: until interrupted)\n"
    "  -h, --help          show this help\n";

constexpr OptionSpec OPTIONS[] = {
    {"node", true},
    {"port", true},
    {"out", true},
    {"duration", true},
};

struct RecordSettings {
  Endpoint node;
  uint16_t node_port = 0;
  std::string out;
  std::optional<Clock::duration> duration;
};

bool read_settings(const Arguments& arguments, RecordSettings& settings, std::string& error) {
  if (!arguments.positional.empty()) {
    error = format_text("unexpected argument '%s'", arguments.positional.front().c_str());
    return false;
  }
  const auto node = arguments.value("node");
  if (!node) {
    error = "record needs --node ADDR[:PORT]";
    return false;
  }
  const auto endpoint = parse_endpoint(*node, error);
  if (!endpoint) return false;
  settings.node = *endpoint;
  if (const auto port = arguments.value("port")) {
    const auto value = parse_count(*port, 65535);
    if (!value) {
      error = "--port needs a node port number from 0 to 65535";
      return false;
    }
    settings.node_port = static_cast<uint16_t>(*value);
  }
  settings.out = arguments.value("out").value_or("-");
  if (const auto duration = arguments.value("duration")) {
    const auto value = parse_amount(*duration);
    if (!value || *value > 1e9) {
      error = "--duration needs a number of seconds";
      return false;
    }
    settings.duration =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*value));
  }
  return true;
}

// Records until the deadline or a stop request. False on a write fault.
bool record_datagrams(int fd, const RecordSettings& settings, std::FILE* out,
                      Clock::time_point deadline, size_t& count) {
  const Clock::time_point start = Clock::now();
  const std::array<char, 2> subscription = {static_cast<char>(settings.node_port >> 8),
                                            static_cast<char>(settings.node_port & 0xFF)};
  const std::string node_text = endpoint_text(settings.node);
  std::optional<Clock::time_point> last_subscription;
  bool refused = false;
  std::array<char, MAX_UDP_PAYLOAD> buffer{};
  for (;;) {
    // What has already arrived is written before a stop or the deadline is
    // looked at, so the file ends complete.
    for (;;) {
      const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
      if (n < 0) {
        // The node's ICMP "port unreachable" surfaces here when its trace
        // service is not running; the next renewal tries again.
        if (errno != ECONNREFUSED) break;
        if (!refused) {
          log_line("no trace service at %s yet (connection refused); still trying",
                   node_text.c_str());
        }
        refused = true;
        continue;
      }
      refused = false;
      const auto length = static_cast<size_t>(n);
      if (length > MAX_DATAGRAM) {
        log_line("ignored %zu-byte datagram from %s (over %zu bytes)", length, node_text.c_str(),
                 MAX_DATAGRAM);
        continue;
      }
      const auto at_ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      const RecordLine line = format_datagram_line(std::string_view(buffer.data(), length), at_ms);
      if (std::fwrite(line.text.data(), 1, line.length, out) != line.length ||
          std::fflush(out) != 0) {
        log_line("write error: %s", std::strerror(errno));
        return false;
      }
      ++count;
    }
    const Clock::time_point now = Clock::now();
    if (stop_requested() || now >= deadline) break;
    if (!last_subscription || now - *last_subscription >= RENEWAL_PERIOD) {
      if (send(fd, subscription.data(), subscription.size(), 0) < 0 && errno != ECONNREFUSED) {
        log_line("subscription to %s failed: %s", node_text.c_str(), std::strerror(errno));
      }
      log_line("%s %s port %u (bytes %02x %02x)",
               last_subscription ? "renewed subscription to" : "subscribed to", node_text.c_str(),
               settings.node_port, settings.node_port >> 8, settings.node_port & 0xFF);
      last_subscription = now;
    }
    const Clock::time_point wake = std::min(deadline, *last_subscription + RENEWAL_PERIOD);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    wait_readable(fd, static_cast<int>(std::min<long long>(wait, 1000)));
  }
  return true;
}

}  // namespace

int run_record(std::span<char* const> args) {
  RecordSettings settings;
  if (const auto status = read_command_line("record", args, OPTIONS, HELP, read_settings, settings))
    return *status;
  std::string error;
  const int fd = open_node_socket(settings.node, error);
  if (fd < 0) {
    log_line("%s", error.c_str());
    return EXIT_SYSTEM;
  }
  std::FILE* out = settings.out == "-" ? stdout : std::fopen(settings.out.c_str(), "w");
  if (out == nullptr) {
    log_line("cannot write %s: %s", settings.out.c_str(), std::strerror(errno));
    close(fd);
    return EXIT_SYSTEM;
  }
  install_stop_handlers();
  const RecordLine header =
      format_recording_header(settings.node.address, settings.node.port, settings.node_port);
  std::fwrite(header.text.data(), 1, header.length, out);
  std::fflush(out);
  const Clock::time_point deadline =
      settings.duration ? Clock::now() + *settings.duration : Clock::time_point::max();
  size_t count = 0;
  bool written = record_datagrams(fd, settings, out, deadline, count);
  close(fd);
  if (out != stdout && std::fclose(out) != 0) written = false;
  log_line("recorded %zu datagrams", count);
  return written ? 0 : EXIT_SYSTEM;
}

}  // namespace sim
