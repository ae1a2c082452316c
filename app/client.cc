// Start-up: banner, command line, capture file, socket, summary, loop.
#include "app/client.h"

#include <unistd.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/receive_loop.h"
#include "app/settings.h"
#include "output/channels.h"

int run_client(int argc, char** argv) {
  print_banner();
  const StartupChoice choice = parse_command_line(argc, argv);
  if (choice.finished) return choice.exit_status;
  if (!open_capture_file(choice)) return -1;
  // Installed before anything can block, so Ctrl-C always resets the colour.
  install_signal_handlers();
  const int socket_fd = open_trace_socket(choice.server_address);
  if (socket_fd < 0) return -1;
  con_print("\033]0;Pellarin (%d)\a", settings.port_filter);
  print_settings_summary();
  std::fflush(console_stream());
  sleep(1);
  return run_receive_loop(socket_fd);
}
