// The heard subsystem: what the reports tell of stations, links and routes,
// kept for the whole run and shown as tables.
#pragma once

#include <cstdint>
#include <string_view>

// Which tables a request names; a bit each.
inline constexpr unsigned HEARD_STATIONS = 1, HEARD_LINKS = 2, HEARD_ROUTES = 4, HEARD_ALL = 7;

// Whether the tables are kept this run (--heard, --heard-only or --heard-file given).
bool heard_kept();

// Every report text handed to the dispatcher is also handed here, with its
// "@type" as the dispatcher read it (the port filter applies inside).
void heard_observe(const char* report, std::string_view type);

// The system's count of dropped datagrams, when known, for the tables' headers.
void heard_note_dropped(std::uint32_t total);

// Prints the named tables now, in the chosen format, through the trace
// channel (or standard output alone under --heard-only); between two
// traces, never inside one.
void heard_print(unsigned tables);
