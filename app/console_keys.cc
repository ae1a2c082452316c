// The keys of an interactive console and SIGUSR2: a request for tables.
#include "app/console_keys.h"

#include <array>
#include <cstdio>

#include "app/platform.h"
#include "app/receive_loop.h"
#include "output/channels.h"

namespace {

struct ConsoleKey {
  char key;
  unsigned request;
  const char* meaning;
};

constexpr std::array<ConsoleKey, 4> CONSOLE_KEYS{{
    {'h', HEARD_STATIONS, "stations"},
    {'l', HEARD_LINKS, "links"},
    {'n', HEARD_ROUTES, "routes"},
    {'?', CONSOLE_REQUEST_KEYS, "these keys"},
}};

void print_key_list() {
  con_print("[Keys:");
  for (std::size_t i = 0; i < CONSOLE_KEYS.size(); ++i)
    con_print("%s %c %s", i == 0 ? "" : ",", CONSOLE_KEYS[i].key, CONSOLE_KEYS[i].meaning);
  con_print("]\n");
}

}  // namespace

unsigned console_request_for_key(char key) {
  // Caps Lock on asks the same.
  const char lower = key >= 'A' && key <= 'Z' ? static_cast<char>(key - 'A' + 'a') : key;
  for (const ConsoleKey& entry : CONSOLE_KEYS)
    if (entry.key == lower) return entry.request;
  return 0;
}

ConsoleKeys::ConsoleKeys(bool wanted) {
  if (wanted && heard_kept()) take_console_keys();
}

ConsoleKeys::~ConsoleKeys() {
  give_back_console_keys();
}

void answer_console_requests() {
  const unsigned requests = take_console_requests();
  if (requests == 0) return;
  // The last trace leaves its colour on; the answer is in the console's own.
  finish_console();
  // Keys are read only with the tables kept: this came from SIGUSR2.
  if (!heard_kept()) {
    con_print("[No tables are kept: start the client with --heard to keep them]\n");
  } else {
    if ((requests & CONSOLE_REQUEST_KEYS) != 0) print_key_list();
    if ((requests & HEARD_ALL) != 0) heard_print(requests & HEARD_ALL);
  }
  std::fflush(console_stream());
}
