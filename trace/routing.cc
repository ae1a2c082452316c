// NODES broadcasts and INP3 routing unicasts.
#include "trace/routing.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string_view>

#include "app/settings.h"
#include "intake/array_lookup.h"
#include "intake/field.h"
#include "intake/numbers.h"
#include "output/channels.h"

namespace {

// An entry is copied out of the report before its keys are looked up, so
// that a lookup cannot run on into the next entry or past the array.
constexpr int ENTRY_LIMIT = 1023;
constexpr int VALUE_LIMIT = 79;
constexpr int TYPE_LIMIT = 15;
constexpr int FROM_ALIAS_LIMIT = 6;

// A count of seconds up to 18000 (five hours after the epoch) is taken for
// no time stamp at all and shows nothing.
constexpr std::int64_t SMALLEST_STAMP = 18000;

using EntryBuffer = std::array<char, ENTRY_LIMIT + 1>;
using ValueField = Field<VALUE_LIMIT>;

struct NodesItem {
  consteval NodesItem(std::string_view key, int limit, const char* format)
      : key(key), limit(limit), format(format, "s") {}
  std::string_view key;
  int limit;
  TableFormat format;
};

// The items of one NODES entry, in the order they are shown; the entry's
// line is begun before the first of them, present or not.
constexpr NodesItem NODES_ITEMS[] = {
    {"call", 9, "%s"},
    {"alias", 6, ":%s"},
    {"via", 9, " via %s"},
    {"qual", 3, " qlty=%s"},
};

enum class Shown {
  present,
  is_true,     // the value as kept is exactly "true"
  text_time,   // a date and time in text form, told by its capital 'T'
  epoch_time,  // seconds since the epoch, shown as local day/month hh:mm
};

enum class Wrap {
  never,
  at_amount,        // count + amount >= width, signed
  at_value_length,  // count + value length + amount >= width, unsigned
};

// The arguments of an item's format: a label has none, a time stamp its
// day, month, hour and minute, a value itself after CONTINUATION when the
// item begins a line.
constexpr std::string_view item_arguments(Shown shown, bool begins_line) {
  switch (shown) {
    case Shown::is_true:
      return "";
    case Shown::epoch_time:
      return "dddd";
    case Shown::present:
    case Shown::text_time:
      return begins_line ? "ss" : "s";
  }
  return "";
}

struct Inp3Item {
  consteval Inp3Item(std::string_view key, int limit, Shown shown, const char* format, Wrap wrap,
                     int amount, bool begins_line = false)
      : key(key),
        limit(limit),
        shown(shown),
        format(format, item_arguments(shown, begins_line)),
        wrap(wrap),
        amount(amount),
        begins_line(begins_line) {}
  std::string_view key;
  int limit;
  Shown shown;
  TableFormat format;  // a label, for a flag shown when true
  Wrap wrap;
  int amount;
  bool begins_line;
};

// A capability flag wraps when its label, leading blank included, would
// reach the display width.
consteval Inp3Item capability(std::string_view key, const char* label) {
  return {key,
          5,
          Shown::is_true,
          label,
          Wrap::at_amount,
          static_cast<int>(std::char_traits<char>::length(label))};
}

constexpr Inp3Item INP3_ITEMS[] = {
    {"call", 9, Shown::present, "%s%-9s", Wrap::never, 0, true},
    {"hops", 2, Shown::present, "  hp=%-2s", Wrap::never, 0},
    {"tt", 5, Shown::present, "  tt=%-5s", Wrap::never, 0},
    {"alias", 6, Shown::present, "  Alias=%-6s", Wrap::never, 0},
    {"latitude", 20, Shown::present, " %s", Wrap::never, 0},
    {"longitude", 20, Shown::present, " %s", Wrap::never, 0},
    {"software", 20, Shown::present, " S/W=%s", Wrap::never, 0},
    {"version", 10, Shown::present, " v%s", Wrap::at_value_length, 2},
    capability("isNode", " NODE"),
    capability("isBBS", " BBS"),
    capability("isPMS", " PMS"),
    capability("isQVChat", " QVCHAT"),
    capability("isRTChat", " RTCHAT"),
    capability("isRMS", " RMS"),
    capability("isDXClUS", " DXCLUS"),
    {"timestamp", 40, Shown::text_time, " %s", Wrap::at_amount, 21},
    {"timestamp", 40, Shown::epoch_time, " %02d/%02d %02d:%02d", Wrap::at_amount, 12},
    {"tzMins", 8, Shown::present, " tz=%s", Wrap::at_value_length, 3},
};

// Local calendar time of a numeric stamp; false for one that is too small
// or that the C library cannot convert (far past 2038 is fine, far past the
// year 2^31 is not).
bool stamp_time(std::string_view value, std::tm& local) {
  const std::int64_t seconds = read_int64(value);
  if (seconds <= SMALLEST_STAMP) return false;
  const auto stamp = static_cast<std::time_t>(seconds);
  return localtime_r(&stamp, &local) != nullptr;
}

bool wraps_before(const Inp3Item& item, int column, const ValueField& value) {
  switch (item.wrap) {
    case Wrap::never:
      return false;
    case Wrap::at_amount:
      return column + item.amount >= settings.display_width;
    case Wrap::at_value_length:
      // Unsigned, so a negative width never wraps these items.
      return static_cast<std::size_t>(column) + std::strlen(value.shown()) +
                 static_cast<std::size_t>(item.amount) >=
             static_cast<std::size_t>(settings.display_width);
  }
  return false;
}

void print_inp3_entry(const char* entry, TraceText& text) {
  int column = 0;
  ValueField value;
  for (const Inp3Item& item : INP3_ITEMS) {
    if (!value.read(entry, item.key, item.limit)) continue;
    std::tm local{};
    bool shown = false;
    const bool text_form = value.text().find('T') != std::string_view::npos;
    switch (item.shown) {
      case Shown::present:
        shown = true;
        break;
      case Shown::is_true:
        shown = value.text() == "true";
        break;
      case Shown::text_time:
        shown = text_form;
        break;
      case Shown::epoch_time:
        shown = !text_form && stamp_time(value.text(), local);
        break;
    }
    if (!shown) continue;
    if (wraps_before(item, column, value)) column = wrap_line(text);
    const char* format = item.format.text();
    switch (item.shown) {
      case Shown::present:
      case Shown::text_time:
        column += item.begins_line ? text.add(format, CONTINUATION, value.shown())
                                   : text.add(format, value.shown());
        break;
      case Shown::is_true:
        column += text.add("%s", format);
        break;
      case Shown::epoch_time:
        column += text.add(format, local.tm_mday, local.tm_mon + 1, local.tm_hour, local.tm_min);
        break;
    }
  }
}

void print_nodes_entry(const char* entry, TraceText& text) {
  text.add("%s", CONTINUATION);
  ValueField value;
  for (const NodesItem& item : NODES_ITEMS)
    if (value.read(entry, item.key, item.limit)) text.add(item.format.text(), value.shown());
}

}  // namespace

void decode_routing_info(const char* report, TraceText& text) {
  Field<TYPE_LIMIT> type;
  if (!type.read(report, "type")) {
    if (trace_flag(TF_WARNINGS)) text.add(" [missing 'type']");
    return;
  }
  if (type.text() == "NODES") {
    decode_nodes(report, text);
  } else if (type.text() == "INP3") {
    decode_inp3(report, text);
  } else if (trace_flag(TF_WARNINGS)) {
    text.add(" [unknown 'type' '%s'", type.shown());
  }
}

void decode_nodes(const char* report, TraceText& text) {
  if (!trace_flag(TF_NODES)) {
    text.add(" NODES Broadcast");
    return;
  }
  text.add("%sNODES Broadcast", CONTINUATION);
  Field<FROM_ALIAS_LIMIT> from_alias;
  if (from_alias.read(report, "fromAlias")) {
    text.add(" from %s:", from_alias.shown());
  } else {
    if (trace_flag(TF_WARNINGS)) text.add(" [missing 'fromAlias']");
    text.add(":");
  }
  // The node writes the key in lower case; the exact search also passes over
  // the value "NODES" of "type" wherever that stands.
  const char* key = std::strstr(report, "\"nodes\"");
  const char* array = key != nullptr ? find_array(key, "nodes") : nullptr;
  if (array == nullptr) {
    if (trace_flag(TF_WARNINGS)) text.add(" [missing 'nodes' array]");
    return;
  }
  EntryBuffer entry{};
  for (const char* at = next_object(array, entry.data(), ENTRY_LIMIT); at != nullptr;
       at = next_object(at, entry.data(), ENTRY_LIMIT))
    print_nodes_entry(entry.data(), text);
}

void decode_inp3(const char* report, TraceText& text) {
  if (!trace_flag(TF_INP3)) {
    text.add(" INP3");
    return;
  }
  text.add("%sINP3 Routing Unicast:", CONTINUATION);
  const char* array = find_array(report, "nodes");
  if (array == nullptr) {
    if (trace_flag(TF_WARNINGS)) text.add(" [missing 'nodes' array]");
    return;
  }
  EntryBuffer entry{};
  for (const char* at = next_object(array, entry.data(), ENTRY_LIMIT); at != nullptr;
       at = next_object(at, entry.data(), ENTRY_LIMIT))
    print_inp3_entry(entry.data(), text);
}
