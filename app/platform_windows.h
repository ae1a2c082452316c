// What the Windows platform layer adds to platform.h, for its tests.
#pragma once

// The signal whose ending a console control event stands for: Ctrl-C for
// SIGINT, Ctrl-Break for SIGTERM, closing the console for SIGHUP (1); 0 for
// events left to Windows (log-off, shut-down).
int signal_for_console_event(unsigned long event);
