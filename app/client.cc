// Start-up: banner, command line, capture file, then the node's datagrams
// through the socket, or a datagram file's.
#include "app/client.h"

#include <cstdio>
#include <ctime>

#include "app/command_line.h"
#include "app/console_keys.h"
#include "app/heard_store.h"
#include "app/platform.h"
#include "app/read_file.h"
#include "app/receive_loop.h"
#include "app/record_file.h"
#include "app/settings.h"
#include "dates/date_lines.h"
#include "output/channels.h"

namespace {

void announce_start(const StartupChoice& choice) {
  // Under --heard-only standard output holds the tables alone.
  if (settings.heard_only) return;
  con_print("\033]0;Pellarin (%d)\a", settings.port_filter);
  print_settings_summary(choice);
  std::fflush(console_stream());
}

// Live, the node's host is looked up before anything is opened (the socket
// library first, which Windows' lookup needs); a datagram file needs none.
bool find_node(StartupChoice& choice) {
  if (choice.read_path != nullptr) return true;
  return start_network() && resolve_node_host(choice);
}

// Before the capture file is opened, so that a client refused the heard file
// leaves the capture file of the one that has it as it was (-O empties it).
bool open_heard_file_if_named() {
  return settings.heard_path[0] == '\0' ||
         open_heard_file(settings.heard_path, MonotonicClock::now());
}

// The last save of a run that ends by itself or by a signal.
int saved_at_the_end(int status) {
  save_heard_file();
  return status;
}

// No socket, no subscription and no pause: the file is all there is.
int read_datagrams(const StartupChoice& choice) {
  std::FILE* in = open_datagram_input(choice.read_path);
  if (in == nullptr) return -1;
  install_ending_handlers();
  announce_start(choice);
  const ConsoleKeys keys(in != stdin);
  return saved_at_the_end(run_read_loop(in, choice.read_path, choice.recorded_pace));
}

}  // namespace

int run_client(int argc, char** argv) {
  prepare_console();
  // Under --heard-only the console's text (errors, warnings) goes to
  // standard error, and there is no banner.
  if (asks_heard_only(argc, argv))
    set_console_stream(stderr);
  else
    print_banner();
  StartupChoice choice = parse_command_line(argc, argv);
  if (choice.finished) return choice.exit_status;
  if (!find_node(choice)) return -1;
  if (!open_heard_file_if_named() || !open_capture_file(choice)) return -1;
  if (choice.read_path != nullptr) return read_datagrams(choice);
  if (choice.record_path != nullptr && !open_record_file(choice.record_path, choice.server_address))
    return -1;
  // Installed before anything can block, so Ctrl-C always resets the colour.
  install_ending_handlers();
  const NetSocket socket = open_trace_socket(choice.server_address);
  if (socket == NO_SOCKET) return -1;
  announce_start(choice);
  print_start_date(std::time(nullptr));
  sleep_milliseconds(1000);
  const ConsoleKeys keys(true);
  return saved_at_the_end(run_receive_loop(socket, choice.server_address));
}
