// pellarin-sim generate: seeded traffic of a small packet network, served to
// subscribers or written to a datagram file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "intake/datagram_file.h"
#include "sim/commands.h"
#include "sim/log.h"
#include "sim/options.h"
#include "sim/service.h"
#include "sim/traffic.h"

namespace sim {

namespace {

constexpr char HELP[] =
    "Usage: pellarin-sim generate [options]\n"
    "\n"
    "Plays believable traffic of a small network around the node N0DE (port 1\n"
    "radio, port 2 not), with neighbours G4ABC-7, G8XYZ-2 and M0PQR-4: chat on\n"
    "NET/ROM circuits, connects and disconnects, supervisory frames, beacons,\n"
    "NODES and INP3 routing, L3RTT probes, routing polls, IP and ARP, L3 traces\n"
    "and link, circuit and node reports. The same seed gives the same\n"
    "traffic. Served, reports carry the current time, as a real node's do;\n"
    "written (or served with --seeded-times), their times start from a fixed\n"
    "time derived from the seed and advance with the simulated clock, so that\n"
    "the same seed gives the same datagrams, byte for byte.\n"
    "\n"
    "Without --write it serves subscribers like 'replay', starting when the\n"
    "first one arrives, until the duration or count is reached or SIGINT/SIGTERM.\n"
    "\n"
    "Options:\n"
    "  --seed N            seed of the traffic (default 1)\n"
    "  --rate N            datagrams per second (default 5; 0 = as fast as\n"
    "                      possible, simulated time then steps 200 ms)\n"
    "  --duration SECONDS  how long to run (default: for ever)\n"
    "  --count N           at most N datagrams\n"
    "  --write FILE        write the datagrams to a datagram file ('-' =\n"
    "                      standard output) instead of serving; needs\n"
    "                      --count or --duration\n"
    "  --bind ADDR[:PORT]  address to serve on (default 127.0.0.1:7373)\n"
    "  --all-ports         send every report to every subscriber\n"
    "  --seeded-times      serve the seeded times that --write writes, not\n"
    "                      the current time\n"
    "  -h, --help          show this help\n";

constexpr OptionSpec OPTIONS[] = {
    {"seed", true},  {"rate", true}, {"duration", true},   {"count", true},
    {"write", true}, {"bind", true}, {"all-ports", false}, {"seeded-times", false},
};

// Simulated time between datagrams when they go out as fast as possible.
constexpr int64_t FAST_STEP_MS = 200;

struct GenerateSettings {
  uint64_t seed = 1;
  double rate = 5;
  std::optional<double> duration;
  std::optional<uint64_t> count;
  std::optional<std::string> write;
  Endpoint bind{0x7F000001, TRACE_PORT};
  bool all_ports = false;
  bool seeded_times = false;
};

bool read_settings(const Arguments& arguments, GenerateSettings& settings, std::string& error) {
  if (!arguments.positional.empty()) {
    error = format_text("unexpected argument '%s'", arguments.positional.front().c_str());
    return false;
  }
  if (const auto seed = arguments.value("seed")) {
    const auto value = parse_count(*seed, UINT64_MAX);
    if (!value) {
      error = "--seed needs a whole number";
      return false;
    }
    settings.seed = *value;
  }
  if (const auto rate = arguments.value("rate")) {
    const auto value = parse_amount(*rate);
    if (!value) {
      error = "--rate needs a number of datagrams per second (0 = as fast as possible)";
      return false;
    }
    settings.rate = *value;
  }
  if (const auto duration = arguments.value("duration")) {
    settings.duration = parse_amount(*duration);
    if (!settings.duration || *settings.duration > 1e9) {
      error = "--duration needs a number of seconds";
      return false;
    }
  }
  if (const auto count = arguments.value("count")) {
    settings.count = parse_count(*count, UINT64_MAX);
    if (!settings.count) {
      error = "--count needs a whole number";
      return false;
    }
  }
  settings.write = arguments.value("write");
  if (settings.write && !settings.count && !settings.duration) {
    error = "--write needs --count or --duration";
    return false;
  }
  if (const auto bind = arguments.value("bind")) {
    const auto endpoint = parse_endpoint(*bind, error);
    if (!endpoint) return false;
    settings.bind = *endpoint;
  }
  settings.all_ports = arguments.has("all-ports");
  settings.seeded_times = arguments.has("seeded-times");
  return true;
}

int64_t step_ms(double rate) {
  if (rate <= 0) return FAST_STEP_MS;
  return std::max<int64_t>(1, std::llround(1000.0 / rate));
}

int write_traffic(const GenerateSettings& settings) {
  std::FILE* out = *settings.write == "-" ? stdout : std::fopen(settings.write->c_str(), "w");
  if (out == nullptr) {
    log_line("cannot write %s: %s", settings.write->c_str(), std::strerror(errno));
    return EXIT_SYSTEM;
  }
  TrafficGenerator generator(settings.seed, step_ms(settings.rate));
  const std::string header =
      format_text("# generated by pellarin-sim, seed %llu, rate %g\n",
                  static_cast<unsigned long long>(settings.seed), settings.rate);
  bool written = std::fputs(header.c_str(), out) >= 0;
  uint64_t count = 0;
  while (written && (!settings.count || count < *settings.count)) {
    std::string datagram = generator.next_datagram();
    const int64_t at_ms = generator.elapsed_ms();
    if (settings.duration && static_cast<double>(at_ms) >= *settings.duration * 1000) break;
    const RecordLine line = format_datagram_line(datagram, at_ms);
    written = std::fwrite(line.text.data(), 1, line.length, out) == line.length;
    ++count;
  }
  if (std::fflush(out) != 0) written = false;
  if (out != stdout && std::fclose(out) != 0) written = false;
  if (!written) {
    log_line("write error on %s: %s", settings.write->c_str(), std::strerror(errno));
    return EXIT_SYSTEM;
  }
  log_line("wrote %llu datagrams to %s", static_cast<unsigned long long>(count),
           settings.write->c_str());
  return 0;
}

int serve_traffic(const GenerateSettings& settings) {
  std::string error;
  const int fd = open_service_socket(settings.bind, error);
  if (fd < 0) {
    log_line("%s", error.c_str());
    return EXIT_SYSTEM;
  }
  install_stop_handlers();
  TraceService service(fd, settings.all_ports);
  log_line("listening on %s", endpoint_text(settings.bind).c_str());
  log_line("generating traffic, seed %llu; waiting for a subscriber",
           static_cast<unsigned long long>(settings.seed));
  if (!service.serve_until(Clock::time_point::max(), 1)) {
    log_line("stopped by signal");
    return 0;
  }
  TrafficGenerator generator(settings.seed, step_ms(settings.rate),
                             settings.seeded_times ? ReportClock::seeded : ReportClock::wall);
  const Clock::duration interval = settings.rate > 0
                                       ? std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(1.0 / settings.rate))
                                       : Clock::duration::zero();
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = settings.duration
                                    ? start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(*settings.duration))
                                    : Clock::time_point::max();
  Clock::time_point due = start;
  uint64_t count = 0;
  bool running = true;
  while (running && (!settings.count || count < *settings.count)) {
    if (due >= end) break;
    running = service.serve_until(due);
    if (!running) break;
    service.send_to_subscribers(generator.next_datagram());
    ++count;
    due += interval;
  }
  service.end_pass();
  log_line(running ? "done" : "stopped by signal");
  return 0;
}

}  // namespace

int run_generate(std::span<char* const> args) {
  GenerateSettings settings;
  if (const auto status =
          read_command_line("generate", args, OPTIONS, HELP, read_settings, settings))
    return *status;
  return settings.write ? write_traffic(settings) : serve_traffic(settings);
}

}  // namespace sim
