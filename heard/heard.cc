// The heard subsystem's state and its hooks into the client.
#include "heard/heard.h"

#include <cstdio>

#include "app/settings.h"
#include "heard/count.h"
#include "heard/format.h"
#include "heard/tables.h"
#include "output/channels.h"

namespace {

// Static storage: the tables are far too large for the stack, and are made
// once, before the first report.
HeardTables tables;

void to_trace_channel(std::string_view text) {
  out_print("%.*s", static_cast<int>(text.size()), text.data());
}

void to_standard_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

HeardTables& heard_tables() {
  return tables;
}

bool heard_kept() {
  return settings.heard || settings.heard_only || settings.heard_path[0] != '\0';
}

void heard_observe(const char* report, std::string_view type) {
  heard_count(tables, report, type);
}

void heard_note_dropped(std::uint32_t total) {
  tables.datagrams_dropped = total;
  tables.dropped_known = true;
}

void heard_print(unsigned which) {
  if (settings.heard_only) {
    heard_write(tables, which, to_standard_output);
    std::fflush(stdout);
  } else {
    heard_write(tables, which, to_trace_channel);
  }
}
