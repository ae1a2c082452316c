// What the Windows platform layer adds to platform.h, for its tests.
#pragma once

#include <windows.h>

// The signal whose ending a console control event stands for: Ctrl-C for
// SIGINT, Ctrl-Break for SIGTERM, closing the console for SIGHUP (1); 0 for
// events left to Windows (log-off, shut-down).
int signal_for_console_event(unsigned long event);

// The requests (CONSOLE_REQUEST bits) that a run of console input records
// makes: a key pressed asks for what console_request_for_key says; key
// releases, the mouse, focus and size changes ask for nothing.
unsigned console_requests_from_input(const INPUT_RECORD* records, unsigned long count);
