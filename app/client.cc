// Start-up: banner, command line, capture file, socket, summary, loop.
#include "app/client.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/platform.h"
#include "app/receive_loop.h"
#include "app/settings.h"
#include "output/channels.h"

int run_client(int argc, char** argv) {
  prepare_console();
  print_banner();
  const StartupChoice choice = parse_command_line(argc, argv);
  if (choice.finished) return choice.exit_status;
  if (!open_capture_file(choice.overwrite_capture)) return -1;
  // Installed before anything can block, so Ctrl-C always resets the colour.
  install_ending_handlers();
  if (!start_network()) return -1;
  const NetSocket socket = open_trace_socket(choice.server_address);
  if (socket == NO_SOCKET) return -1;
  con_print("\033]0;Pellarin (%d)\a", settings.port_filter);
  print_settings_summary();
  std::fflush(console_stream());
  sleep_milliseconds(1000);
  return run_receive_loop(socket);
}
