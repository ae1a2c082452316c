// The console's keys and SIGUSR2: what each asks for, and the answer
// printed between two traces.
#pragma once

#include "heard/heard.h"

// A request names tables by their HEARD_ bits; this bit asks for the list
// of keys.
inline constexpr unsigned CONSOLE_REQUEST_KEYS = 8;

// What a key asks for; 0 for a key that asks for nothing.
unsigned console_request_for_key(char key);

// Takes the console's keys for a run when the tables are kept (and the
// console is not where the run reads its datagrams), once start-up has
// succeeded, and gives them back when the run ends, however it ends.
class ConsoleKeys {
 public:
  explicit ConsoleKeys(bool wanted);
  ~ConsoleKeys();
  ConsoleKeys(const ConsoleKeys&) = delete;
  ConsoleKeys& operator=(const ConsoleKeys&) = delete;
};

// Prints what the keys and SIGUSR2 have asked for since the last call.
// Without the tables SIGUSR2 gets a note that none are kept.
void answer_console_requests();
