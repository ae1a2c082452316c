// The command line of pellarin-kiss.
#include "kiss/command_line.h"

#include <cstdio>
#include <vector>

#include "sim/commands.h"
#include "sim/log.h"
#include "sim/options.h"
#include "sim/udp.h"

namespace kiss {

const char HELP[] =
    "Usage: pellarin-kiss [source] [options]\n"
    "\n"
    "Reads AX.25 frames from a KISS TNC or modem and serves them as a Korvane\n"
    "node's trace reports, so that pellarin can monitor the station.\n"
    "\n"
    "Source (one of):\n"
    "  --kiss-tcp HOST[:PORT]      KISS over TCP (default 127.0.0.1:8001);\n"
    "                              reconnects with a growing pause\n"
    "  --kiss-serial DEVICE[:BAUD] a serial or pseudo-terminal device\n"
    "                              (default 9600 baud)\n"
    "  --pcap FILE                 a pcap file of link type 202; sent when the\n"
    "                              first subscriber arrives\n"
    "\n"
    "Options:\n"
    "  --bind ADDR[:PORT]  address of the trace service (default 127.0.0.1:7373)\n"
    "  --call CALL         the reporting station's call (default KISS)\n"
    "  --port N            the port number in every report (default the KISS port)\n"
    "  --rf true|false     whether the port is a radio port (default true)\n"
    "  --own CALL[,CALL]   frames from these calls are \"sent\", others \"rcvd\"\n"
    "  --pace recorded     with --pcap: keep the recorded pace (default: as fast\n"
    "                      as possible)\n"
    "  --pace fast         with --pcap: as fast as possible\n"
    "  --exit-when-done    with --pcap: exit after the last frame\n"
    "  -v, --verbose       say on standard error what could not be decoded\n"
    "  -h, --help          show this help\n"
    "  --version           show the version\n";

namespace {

constexpr sim::OptionSpec OPTIONS[] = {
    {"kiss-tcp", true}, {"kiss-serial", true},
    {"pcap", true},     {"bind", true},
    {"call", true},     {"port", true},
    {"rf", true},       {"own", true},
    {"pace", true},     {"exit-when-done", false},
    {"verbose", false}, {"version", false},
};

constexpr unsigned MAX_NODE_PORT = 65535;

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool read_settings(const sim::Arguments& arguments, KissSettings& settings, std::string& error) {
  if (!arguments.positional.empty()) {
    error = sim::format_text("unexpected word '%s'", arguments.positional.front().c_str());
    return false;
  }
  const int sources =
      arguments.has("kiss-tcp") + arguments.has("kiss-serial") + arguments.has("pcap");
  if (sources > 1) {
    error = "give one source: --kiss-tcp, --kiss-serial or --pcap";
    return false;
  }
  if (const auto tcp = arguments.value("kiss-tcp")) {
    const auto endpoint = parse_kiss_tcp(*tcp, error);
    if (!endpoint) return false;
    settings.tnc = *endpoint;
  }
  if (const auto serial = arguments.value("kiss-serial")) {
    const auto device = parse_serial(*serial, error);
    if (!device) return false;
    settings.source = SourceKind::SERIAL;
    settings.serial = *device;
  }
  if (const auto pcap = arguments.value("pcap")) {
    settings.source = SourceKind::PCAP;
    settings.pcap_file = *pcap;
  }
  if (const auto bind = arguments.value("bind")) {
    const auto endpoint = sim::parse_endpoint(*bind, error);
    if (!endpoint) return false;
    settings.bind = *endpoint;
  }
  if (const auto call = arguments.value("call")) {
    if (call->empty()) {
      error = "--call needs a call";
      return false;
    }
    settings.station.report_from = *call;
  }
  if (const auto port = arguments.value("port")) {
    const auto value = sim::parse_count(*port, MAX_NODE_PORT);
    if (!value) {
      error = "--port needs a port number (0 to 65535)";
      return false;
    }
    settings.station.port = static_cast<unsigned>(*value);
  }
  if (const auto rf = arguments.value("rf")) {
    if (*rf != "true" && *rf != "false") {
      error = "--rf is 'true' or 'false'";
      return false;
    }
    settings.station.is_rf = *rf == "true";
  }
  if (const auto own = arguments.value("own")) {
    size_t start = 0;
    while (start <= own->size()) {
      const size_t comma = std::min(own->find(',', start), own->size());
      std::string call = upper(own->substr(start, comma - start));
      if (call.ends_with("-0")) call.resize(call.size() - 2);
      if (!call.empty()) settings.station.own_calls.push_back(call);
      start = comma + 1;
    }
  }
  if (const auto pace = arguments.value("pace")) {
    if (*pace != "recorded" && *pace != "fast") {
      error = "--pace is 'recorded' or 'fast'";
      return false;
    }
    settings.recorded_pace = *pace == "recorded";
  }
  settings.exit_when_done = arguments.has("exit-when-done");
  if (settings.source != SourceKind::PCAP && (arguments.has("pace") || settings.exit_when_done)) {
    error = "--pace and --exit-when-done go with --pcap";
    return false;
  }
  settings.verbose = arguments.has("verbose");
  return true;
}

}  // namespace

std::optional<int> read_kiss_command_line(std::span<char* const> args, KissSettings& settings) {
  // The option reader knows long options only; -v is the short form of one.
  std::vector<char*> words(args.begin(), args.end());
  static char verbose[] = "--verbose";
  for (char*& word : words) {
    if (std::string_view(word) == "-v") word = verbose;
  }
  sim::Arguments arguments;
  std::string error;
  if (sim::parse_arguments(words, OPTIONS, arguments, error)) {
    if (arguments.help) return sim::show_help(HELP);
    if (arguments.has("version")) {
      std::printf("pellarin-kiss %s\n", PELLARIN_VERSION);
      return 0;
    }
    if (read_settings(arguments, settings, error)) return std::nullopt;
  }
  sim::log_line("%s (see pellarin-kiss --help)", error.c_str());
  return sim::EXIT_USAGE;
}

}  // namespace kiss
