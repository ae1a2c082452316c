// pellarin-sim replay: serves the datagrams of a datagram file to the
// subscribers of an emulated trace service.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/commands.h"
#include "sim/datagram_list.h"
#include "sim/log.h"
#include "sim/options.h"
#include "sim/service.h"

namespace sim {

namespace {

constexpr char HELP[] =
    "Usage: pellarin-sim replay FILE [options]\n"
    "\n"
    "Serves the datagrams of FILE (a datagram file; '-' reads standard input)\n"
    "like a node's trace service. When the first subscriber arrives, the\n"
    "datagrams are sent in order to every subscriber, each getting only the\n"
    "reports of the port it asked for.\n"
    "\n"
    "Options:\n"
    "  --bind ADDR[:PORT]  address to serve on (default 127.0.0.1:7373)\n"
    "  --rate N            datagrams per second (default 10; 0 = as fast as possible)\n"
    "  --pace recorded     send at the recorded '@MS' times (records without a\n"
    "                      time go at the rate)\n"
    "  --pace fast         the same as --rate 0\n"
    "  --loop              start over at the end of the file\n"
    "  --all-ports         send every report to every subscriber, whatever port\n"
    "                      it asked for\n"
    "  --exit-when-done    exit right after the last datagram has been sent\n"
    "                      (otherwise keep serving until SIGINT/SIGTERM)\n"
    "  --subscribers N     wait for N subscribers before sending (default 1)\n"
    "  --start-delay MS    wait MS milliseconds after the subscribers came\n"
    "                      before sending (default 0)\n"
    "  -h, --help          show this help\n";

constexpr OptionSpec OPTIONS[] = {
    {"bind", true},        {"rate", true},       {"pace", true},
    {"loop", false},       {"all-ports", false}, {"exit-when-done", false},
    {"start-delay", true}, {"subscribers", true},
};

struct ReplaySettings {
  std::string file;
  Endpoint bind{0x7F000001, TRACE_PORT};
  double rate = 10;
  bool recorded_pace = false;
  bool loop = false;
  bool all_ports = false;
  bool exit_when_done = false;
  std::chrono::milliseconds start_delay{0};
  size_t subscribers = 1;
};

bool read_settings(const Arguments& arguments, ReplaySettings& settings, std::string& error) {
  if (arguments.positional.size() != 1) {
    error = "replay needs exactly one FILE";
    return false;
  }
  settings.file = arguments.positional.front();
  if (const auto bind = arguments.value("bind")) {
    const auto endpoint = parse_endpoint(*bind, error);
    if (!endpoint) return false;
    settings.bind = *endpoint;
  }
  if (const auto rate = arguments.value("rate")) {
    const auto value = parse_amount(*rate);
    if (!value) {
      error = "--rate needs a number of datagrams per second (0 = as fast as possible)";
      return false;
    }
    settings.rate = *value;
  }
  if (const auto pace = arguments.value("pace")) {
    if (*pace == "recorded") {
      settings.recorded_pace = true;
    } else if (*pace == "fast") {
      settings.rate = 0;
    } else {
      error = "--pace is 'recorded' or 'fast'";
      return false;
    }
  }
  if (const auto delay = arguments.value("start-delay")) {
    const auto value = parse_count(*delay, 86400000);
    if (!value) {
      error = "--start-delay needs a number of milliseconds";
      return false;
    }
    settings.start_delay = std::chrono::milliseconds(*value);
  }
  if (const auto subscribers = arguments.value("subscribers")) {
    const auto value = parse_count(*subscribers, MAX_SUBSCRIBERS);
    if (!value || *value == 0) {
      error = "--subscribers needs a number from 1 to " + std::to_string(MAX_SUBSCRIBERS);
      return false;
    }
    settings.subscribers = *value;
  }
  settings.loop = arguments.has("loop");
  settings.all_ports = arguments.has("all-ports");
  settings.exit_when_done = arguments.has("exit-when-done");
  return true;
}

Clock::duration interval_for(double rate) {
  if (rate <= 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
}

// Plays the records once. False when a stop was requested on the way.
bool play_pass(TraceService& service, const std::vector<Datagram>& records,
               const ReplaySettings& settings) {
  const Clock::duration interval = interval_for(settings.rate);
  const Clock::time_point start = Clock::now();
  Clock::time_point due = start;
  bool first = true;
  for (const Datagram& record : records) {
    if (settings.recorded_pace && record.at_ms) {
      due = start + std::chrono::milliseconds(*record.at_ms);
    } else if (!first) {
      due += interval;
    }
    first = false;
    if (!service.serve_until(due)) {
      service.end_pass();
      return false;
    }
    service.send_to_subscribers(record.bytes);
  }
  service.end_pass();
  return true;
}

}  // namespace

int run_replay(std::span<char* const> args) {
  ReplaySettings settings;
  if (const auto status = read_command_line("replay", args, OPTIONS, HELP, read_settings, settings))
    return *status;
  std::string error;
  std::vector<Datagram> records;
  if (!load_datagram_file(settings.file, records, error)) {
    log_line("%s", error.c_str());
    return EXIT_USAGE;
  }
  const int fd = open_service_socket(settings.bind, error);
  if (fd < 0) {
    log_line("%s", error.c_str());
    return EXIT_SYSTEM;
  }
  install_stop_handlers();
  TraceService service(fd, settings.all_ports);
  log_line("listening on %s", endpoint_text(settings.bind).c_str());
  if (settings.subscribers == 1) {
    log_line("replaying %s: %zu datagrams; waiting for a subscriber", settings.file.c_str(),
             records.size());
  } else {
    log_line("replaying %s: %zu datagrams; waiting for %zu subscribers", settings.file.c_str(),
             records.size(), settings.subscribers);
  }
  bool running = service.serve_until(Clock::time_point::max(), settings.subscribers) &&
                 service.serve_until(Clock::now() + settings.start_delay);
  while (running) {
    running = play_pass(service, records, settings);
    if (!settings.loop || records.empty()) break;
  }
  if (running && settings.exit_when_done) {
    log_line("done");
    return 0;
  }
  if (running) {
    log_line("end of file; still serving until interrupted");
    service.serve_until(Clock::time_point::max());
  }
  log_line("stopped by signal");
  return 0;
}

}  // namespace sim
