// Call filters and header pieces of the L2 and L3 trace lines.
#include "trace/frame_trace.h"

#include <cctype>

#include "app/settings.h"
#include "intake/field_lookup.h"
#include "output/channels.h"

namespace {

// A call filter that is set and matches neither end of the frame.
bool rejects_both(const char* filter, std::string_view destination, std::string_view source) {
  return filter_rejects(filter, destination) && filter_rejects(filter, source);
}

}  // namespace

bool filter_rejects(const char* filter, std::string_view value) {
  return filter[0] != '\0' && !equal_ignoring_case(filter, value);
}

bool passes_call_filters(std::string_view source, std::string_view destination) {
  return !filter_rejects(settings.from_call, source) &&
         !filter_rejects(settings.to_call, destination) &&
         !rejects_both(settings.call_a, destination, source) &&
         !rejects_both(settings.call_b, destination, source);
}

void print_header_line_tail(const FlagField& is_rf, const FlagField& dirn, TraceText& text) {
  if (!is_rf.empty()) text.add("%s", is_rf.text()[0] == 't' ? " (RF)" : " (Non-RF)");
  if (!dirn.empty()) text.add(" %s", dirn.shown());
  text.add(":\n  ");
}

char direction_letter(const FlagField& dirn) {
  if (dirn.empty()) return ' ';
  return static_cast<char>(std::toupper(static_cast<unsigned char>(dirn.shown()[0])));
}
