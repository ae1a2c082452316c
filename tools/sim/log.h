// Event log of pellarin-sim and pellarin-kiss: one line per event on
// stderr, flushed at once.
#pragma once

#include <string>

namespace sim {

// The name that begins every line; "pellarin-sim" unless a program sets its
// own at start-up.
void set_log_name(const char* name);

// Writes the program's name, ": " and the formatted text as one line on stderr and
// flushes it, so that a test reading the log from a pipe sees every event
// as soon as it happens.
[[gnu::format(printf, 1, 2)]] void log_line(const char* format, ...);

// The same text as a string, for messages that are built before they are
// logged (errors passed up to main).
[[gnu::format(printf, 1, 2)]] std::string format_text(const char* format, ...);

}  // namespace sim
