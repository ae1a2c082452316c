// The heard tables as text: one table of columns per entry type, written
// as aligned columns for a person or as TSV, CSV or JSON for programs.
#include "heard/format.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <limits>
#include <span>

#include "app/settings.h"
#include "heard/count.h"
#include "heard/heard.h"
#include "intake/field_lookup.h"
#include "output/print_format.h"
#include "output/printable.h"

namespace {

// The longest piece handed to the sink at once; a trace-channel print
// holds 4096 characters.
constexpr std::size_t PIECE_SIZE = 2048;
// Room for one value as shown: a call, alias or label of at most 15
// characters, each byte of which may become a few in JSON.
constexpr std::size_t VALUE_SIZE = 128;

// Gathers text and hands it to the sink in pieces, so that a table of
// thousands of rows costs a few dozen writes, not one a row.
class Output {
 public:
  explicit Output(HeardSink sink) : sink_(sink) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() { flush(); }

  void add(const char* format, ...) PRINTF_FORMAT(2, 3) {
    char piece[VALUE_SIZE * 2];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(piece, sizeof piece, format, arguments);
    va_end(arguments);
    if (length > 0) put({piece, std::min(static_cast<std::size_t>(length), sizeof piece - 1)});
  }

  void put(std::string_view text) {
    if (length_ + text.size() > PIECE_SIZE) flush_lines();
    text = text.substr(0, PIECE_SIZE - length_);
    std::copy(text.begin(), text.end(), text_.begin() + static_cast<std::ptrdiff_t>(length_));
    length_ += text.size();
  }

  // Ends a line without the padding of its last column.
  void end_line() {
    while (length_ > 0 && text_[length_ - 1] == ' ') --length_;
    put("\n");
  }

 private:
  // Hands on the complete lines only, so that the line being written is
  // always all in the buffer.
  void flush_lines() {
    std::size_t end = length_;
    while (end > 0 && text_[end - 1] != '\n') --end;
    if (end == 0) end = length_;
    sink_({text_.data(), end});
    std::copy(text_.begin() + static_cast<std::ptrdiff_t>(end),
              text_.begin() + static_cast<std::ptrdiff_t>(length_), text_.begin());
    length_ -= end;
  }

  void flush() {
    if (length_ != 0) sink_({text_.data(), length_});
    length_ = 0;
  }

  HeardSink sink_;
  std::array<char, PIECE_SIZE> text_;
  std::size_t length_ = 0;
};

// What the columns need beyond the entry itself.
struct Context {
  std::int64_t newest = 0;                  // the newest report's time, from which ages count
  std::span<const HeardRoute* const> best;  // sorted by address
  std::size_t side = 0;                     // the link direction a side column shows
};

enum class Kind : std::uint8_t { text, count, time, age, percent, flag, none };

// One cell: a text (as received, shown through the sanitiser), a number,
// a time or nothing at all.
struct Value {
  Kind kind = Kind::none;
  std::string_view text;
  std::int64_t number = 0;
};

Value text_value(std::string_view text) {
  return {Kind::text, text, 0};
}
Value count_value(std::uint64_t count) {
  return {Kind::count, {}, static_cast<std::int64_t>(std::min<std::uint64_t>(count, INT64_MAX))};
}
Value time_value(std::int64_t at) {
  return {Kind::time, {}, at};
}
// A route's figure of its own kind only; a negative one as 0.
Value figure_value(bool shown, std::int32_t figure) {
  return shown ? count_value(static_cast<std::uint64_t>(std::max(figure, 0))) : Value{};
}

// A time takes two columns in TSV and CSV; an age is only for a person.
enum class Shape : std::uint8_t { plain, time, table_only };

template <class Entry>
struct Column {
  const char* title;  // in the table for a person
  const char* name;   // in TSV and CSV header rows and as JSON keys
  int width;          // negative: left-aligned
  Value (*get)(const Entry& entry, const Context& context);
  Shape shape = Shape::plain;
};

constexpr std::array<std::string_view, 5> PROTOCOL_NAMES = {"NET/ROM", "IP", "ARP", "DATA",
                                                            "other"};

// The protocols of a station as one text, "NET/ROM+IP"; every one of the
// 32 combinations is spelt out once, at first use.
std::string_view protocols_text(std::uint32_t bits) {
  static const auto texts = [] {
    std::array<std::array<char, 32>, 32> made{};
    for (std::uint32_t combination = 0; combination < made.size(); ++combination) {
      std::size_t at = 0;
      for (std::size_t bit = 0; bit < PROTOCOL_NAMES.size(); ++bit) {
        if ((combination & (1U << bit)) == 0) continue;
        if (at != 0) made[combination][at++] = '+';
        for (const char c : PROTOCOL_NAMES[bit]) made[combination][at++] = c;
      }
    }
    return made;
  }();
  return heard_text(texts[bits & 0x1F]);
}

constexpr std::string_view radio_text(HeardRadio radio) {
  switch (radio) {
    case HeardRadio::radio:
      return "yes";
    case HeardRadio::wire:
      return "no";
    case HeardRadio::unknown:
      break;
  }
  return "";
}

constexpr std::array<std::string_view, 5> CHANGE_NAMES = {"new", "same", "better", "worse",
                                                          "withdrawn"};

// Times are whatever the reports said, any 64-bit number: an age too
// large to hold is held at the nearest one that fits, never overflows.
Value age_value(std::int64_t last, const Context& context) {
  constexpr std::int64_t MOST = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t LEAST = std::numeric_limits<std::int64_t>::min();
  const std::int64_t newest = context.newest;
  std::int64_t age = 0;
  if (last < 0 && newest > MOST + last)
    age = MOST;
  else if (last > 0 && newest < LEAST + last)
    age = LEAST;
  else
    age = newest - last;
  return {Kind::age, {}, age};
}

constexpr std::array<Column<HeardStation>, 15> STATION_COLUMNS = {{
    {"Port", "port", 4, [](const HeardStation& s, const Context&) { return count_value(s.port); }},
    {"Call", "call", -9,
     [](const HeardStation& s, const Context&) { return text_value(heard_text(s.call)); }},
    {"Last heard", "last", -19,
     [](const HeardStation& s, const Context&) { return time_value(s.last); }, Shape::time},
    {"Age", "age", 6, [](const HeardStation& s, const Context& c) { return age_value(s.last, c); },
     Shape::table_only},
    {"First heard", "first", -19,
     [](const HeardStation& s, const Context&) { return time_value(s.first); }, Shape::time},
    {"Heard", "heard", 6,
     [](const HeardStation& s, const Context&) { return count_value(s.heard); }},
    {"Sent", "sent", 6, [](const HeardStation& s, const Context&) { return count_value(s.sent); }},
    {"I", "i", 5, [](const HeardStation& s, const Context&) { return count_value(s.heard_i); }},
    {"S", "s", 5, [](const HeardStation& s, const Context&) { return count_value(s.heard_s); }},
    {"U", "u", 5, [](const HeardStation& s, const Context&) { return count_value(s.heard_u); }},
    {"UI", "ui", 5, [](const HeardStation& s, const Context&) { return count_value(s.heard_ui); }},
    {"Bytes", "bytes", 8,
     [](const HeardStation& s, const Context&) { return count_value(s.info_bytes); }},
    {"RF", "rf", -3,
     [](const HeardStation& s, const Context&) { return text_value(radio_text(s.radio)); }},
    {"Protocols", "protocols", -19,
     [](const HeardStation& s, const Context&) { return text_value(protocols_text(s.protocols)); }},
    {"Last to", "last_to", -9,
     [](const HeardStation& s, const Context&) { return text_value(heard_text(s.last_dest)); }},
}};

const HeardLinkSide& side_of(const HeardLink& link, const Context& context) {
  return link.sides[context.side];
}

// A link's columns of one direction: its row in the table for a person, a
// prefix of their own in TSV and CSV, an object of "sides" in JSON.
constexpr std::array<Column<HeardLink>, 15> SIDE_COLUMNS = {{
    {"From", "from", -9,
     [](const HeardLink& l, const Context& c) {
       return text_value(heard_text(c.side == 0 ? l.call_a : l.call_b));
     }},
    {"To", "to", -9,
     [](const HeardLink& l, const Context& c) {
       return text_value(heard_text(c.side == 0 ? l.call_b : l.call_a));
     }},
    {"I", "i", 6,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).i_frames); }},
    {"Bytes", "bytes", 8,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).i_bytes); }},
    {"Resent", "resent", 6,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).resent); }},
    {"RR", "rr", 5,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).rr); }},
    {"RNR", "rnr", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).rnr); }},
    {"REJ", "rej", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).rej); }},
    {"SREJ", "srej", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).srej); }},
    {"SABM", "sabm", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).sabm); }},
    {"SABME", "sabme", 5,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).sabme); }},
    {"UA", "ua", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).ua); }},
    {"DISC", "disc", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).disc); }},
    {"DM", "dm", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).dm); }},
    {"FRMR", "frmr", 4,
     [](const HeardLink& l, const Context& c) { return count_value(side_of(l, c).frmr); }},
}};

constexpr std::array<Column<HeardLink>, 1> LINK_LEAD = {{
    {"Port", "port", 4, [](const HeardLink& l, const Context&) { return count_value(l.port); }},
}};

constexpr std::array<Column<HeardLink>, 7> LINK_COLUMNS = {{
    {"Health", "health", 6,
     [](const HeardLink& l, const Context&) {
       return Value{Kind::percent, {}, heard_link_health(l)};
     }},
    {"Mod", "modulus", 3,
     [](const HeardLink& l, const Context&) { return count_value(l.modulus); }},
    {"Up", "ups", 3, [](const HeardLink& l, const Context&) { return count_value(l.ups); }},
    {"Down", "downs", 4, [](const HeardLink& l, const Context&) { return count_value(l.downs); }},
    {"Last heard", "last", -19,
     [](const HeardLink& l, const Context&) { return time_value(l.last); }, Shape::time},
    {"Age", "age", 6, [](const HeardLink& l, const Context& c) { return age_value(l.last, c); },
     Shape::table_only},
    {"First heard", "first", -19,
     [](const HeardLink& l, const Context&) { return time_value(l.first); }, Shape::time},
}};

bool is_best(const HeardRoute& route, const Context& context) {
  return std::binary_search(context.best.begin(), context.best.end(), &route);
}

constexpr std::array<Column<HeardRoute>, 15> ROUTE_COLUMNS = {{
    {"Port", "port", 4, [](const HeardRoute& r, const Context&) { return count_value(r.port); }},
    {"Dest", "dest", -9,
     [](const HeardRoute& r, const Context&) { return text_value(heard_text(r.dest)); }},
    {"Alias", "alias", -6,
     [](const HeardRoute& r, const Context&) { return text_value(heard_text(r.alias)); }},
    {"Neighbour", "neighbour", -9,
     [](const HeardRoute& r, const Context&) { return text_value(heard_text(r.neighbour)); }},
    {"Best", "best", -4,
     [](const HeardRoute& r, const Context& c) {
       return Value{Kind::flag, {}, is_best(r, c) ? 1 : 0};
     }},
    {"From", "source", -5,
     [](const HeardRoute& r, const Context&) {
       return text_value(r.source == RouteSource::nodes ? "NODES" : "INP3");
     }},
    {"Qual", "quality", 4,
     [](const HeardRoute& r, const Context&) {
       return figure_value(r.source == RouteSource::nodes, r.quality);
     }},
    {"Via", "via", -9,
     [](const HeardRoute& r, const Context&) {
       return r.source == RouteSource::nodes ? text_value(heard_text(r.via)) : Value{};
     }},
    {"Hops", "hops", 4,
     [](const HeardRoute& r, const Context&) {
       return figure_value(r.source == RouteSource::inp3, r.hops);
     }},
    {"Trip", "trip_time", 5,
     [](const HeardRoute& r, const Context&) {
       return figure_value(r.source == RouteSource::inp3, r.trip_time);
     }},
    {"Change", "change", -9,
     [](const HeardRoute& r, const Context&) {
       return text_value(CHANGE_NAMES[static_cast<std::size_t>(r.change) % CHANGE_NAMES.size()]);
     }},
    {"Count", "count", 6, [](const HeardRoute& r, const Context&) { return count_value(r.count); }},
    {"Last advertised", "last", -19,
     [](const HeardRoute& r, const Context&) { return time_value(r.last); }, Shape::time},
    {"Age", "age", 6, [](const HeardRoute& r, const Context& c) { return age_value(r.last, c); },
     Shape::table_only},
    {"First advertised", "first", -19,
     [](const HeardRoute& r, const Context&) { return time_value(r.first); }, Shape::time},
}};

// Times in UTC: "2026-12-09 23:10:05" for a person, "2026-12-09T23:10:05Z"
// for programs; a time the C library cannot convert, or beyond the year
// 9999, is told as unknown.
void utc_text(std::int64_t at, bool iso, std::span<char> buffer) {
  std::tm broken_down{};
  const auto when = static_cast<std::time_t>(at);
  if (gmtime_r(&when, &broken_down) == nullptr || broken_down.tm_year > 9999 - 1900 ||
      broken_down.tm_year < -1900) {
    std::snprintf(buffer.data(), buffer.size(), "%s", iso ? "unknown" : "(unknown time)");
    return;
  }
  std::snprintf(buffer.data(), buffer.size(),
                iso ? "%04d-%02d-%02dT%02d:%02d:%02dZ" : "%04d-%02d-%02d %02d:%02d:%02d",
                broken_down.tm_year + 1900, broken_down.tm_mon + 1, broken_down.tm_mday,
                broken_down.tm_hour, broken_down.tm_min, broken_down.tm_sec);
}

// An age as its two largest units: 45s, 12m05s, 4h05m, 3d04h.
void age_text(std::int64_t seconds, std::span<char> buffer) {
  constexpr std::int64_t MINUTE = 60;
  constexpr std::int64_t HOUR = 60 * MINUTE;
  constexpr std::int64_t DAY = 24 * HOUR;
  if (seconds < 0) seconds = 0;
  if (seconds < MINUTE)
    std::snprintf(buffer.data(), buffer.size(), "%" PRId64 "s", seconds);
  else if (seconds < HOUR)
    std::snprintf(buffer.data(), buffer.size(), "%" PRId64 "m%02" PRId64 "s", seconds / MINUTE,
                  seconds % MINUTE);
  else if (seconds < DAY)
    std::snprintf(buffer.data(), buffer.size(), "%" PRId64 "h%02" PRId64 "m", seconds / HOUR,
                  seconds % HOUR / MINUTE);
  else
    std::snprintf(buffer.data(), buffer.size(), "%" PRId64 "d%02" PRId64 "h", seconds / DAY,
                  seconds % DAY / HOUR);
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or
// 0 when it is not one.
std::size_t utf8_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t at = 1; at < length; ++at)
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return 0;
  return length;
}

// The text as shown (the sanitiser's work), then put in the format's own
// quoting: CSV doubles quotes and quotes a field that holds a comma or a
// quote; JSON escapes quotes and backslashes, and writes a byte that is
// not part of well-formed UTF-8 as the Latin-1 letter it would be.
void put_text(Output& out, std::string_view received, HeardFormat format) {
  std::array<char, VALUE_SIZE> shown;
  const std::size_t length = make_printable(received, shown);
  const std::string_view text(shown.data(), length);
  if (format == HeardFormat::csv) {
    if (text.find_first_of(",\"") == std::string_view::npos) {
      out.put(text);
      return;
    }
    out.put("\"");
    for (const char c : text)
      out.put(c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1));
    out.put("\"");
    return;
  }
  if (format != HeardFormat::json) {
    out.put(text);
    return;
  }
  out.put("\"");
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '"' || byte == '\\') {
      out.add("\\%c", byte);
      ++at;
    } else if (byte < 0x80) {
      out.put(text.substr(at, 1));
      ++at;
    } else if (const std::size_t sequence = utf8_length(text.substr(at)); sequence != 0) {
      out.put(text.substr(at, sequence));
      at += sequence;
    } else {
      out.add("\\u%04x", byte);
      ++at;
    }
  }
  out.put("\"");
}

// One cell of the table for a person, padded to its column.
void put_cell(Output& out, const Value& value, int width) {
  std::array<char, VALUE_SIZE> cell;
  cell[0] = '\0';
  switch (value.kind) {
    case Kind::text:
      make_printable(value.text, cell);
      break;
    case Kind::count:
      std::snprintf(cell.data(), cell.size(), "%" PRId64, value.number);
      break;
    case Kind::time:
      utc_text(value.number, false, cell);
      break;
    case Kind::age:
      age_text(value.number, cell);
      break;
    case Kind::percent:
      if (value.number < 0)
        std::snprintf(cell.data(), cell.size(), "-");
      else
        std::snprintf(cell.data(), cell.size(), "%" PRId64 "%%", value.number);
      break;
    case Kind::flag:
      std::snprintf(cell.data(), cell.size(), "%s", value.number != 0 ? "*" : "");
      break;
    case Kind::none:
      std::snprintf(cell.data(), cell.size(), "-");
      break;
  }
  out.add("%*s", width, cell.data());
}

// One value in a machine format: raw integers, a time as two cells (ISO
// 8601 and epoch seconds) or, in JSON, as "<name>_utc" and "<name>".
void put_machine(Output& out, const Value& value, HeardFormat format) {
  const bool json = format == HeardFormat::json;
  std::array<char, VALUE_SIZE> cell;
  switch (value.kind) {
    case Kind::text:
      put_text(out, value.text, format);
      break;
    case Kind::count:
    case Kind::age:
      out.add("%" PRId64, value.number);
      break;
    case Kind::time: {
      utc_text(value.number, true, cell);
      out.add(json ? "\"%s\"" : "%s", cell.data());
      break;
    }
    case Kind::percent:
      if (value.number >= 0)
        out.add("%" PRId64, value.number);
      else if (json)
        out.put("null");
      break;
    case Kind::flag:
      if (json)
        out.put(value.number != 0 ? "true" : "false");
      else
        out.add("%d", value.number != 0 ? 1 : 0);
      break;
    case Kind::none:
      if (json) out.put("null");
      break;
  }
}

char separator(HeardFormat format) {
  return format == HeardFormat::tsv ? '\t' : ',';
}

// The column names of a machine header row; a time takes two columns.
template <class Entry, std::size_t N>
void put_names(Output& out, const std::array<Column<Entry>, N>& columns, const char* prefix,
               HeardFormat format, bool& first) {
  const char sep = separator(format);
  for (const Column<Entry>& column : columns) {
    if (column.shape == Shape::table_only) continue;
    for (int part = 0; part < 2; ++part) {
      if (!first) out.add("%c", sep);
      first = false;
      const bool is_time = column.shape == Shape::time;
      out.add("%s%s%s", prefix, column.name, is_time && part == 0 ? "_utc" : "");
      if (!is_time) break;
    }
  }
}

template <class Entry, std::size_t N>
void put_machine_row(Output& out, const std::array<Column<Entry>, N>& columns, const Entry& entry,
                     const Context& context, HeardFormat format, bool& first) {
  const char sep = separator(format);
  for (const Column<Entry>& column : columns) {
    if (column.shape == Shape::table_only) continue;
    const Value value = column.get(entry, context);
    if (!first) out.add("%c", sep);
    first = false;
    if (value.kind == Kind::time) {
      put_machine(out, value, format);
      out.add("%c%" PRId64, sep, value.number);
    } else {
      put_machine(out, value, format);
    }
  }
}

// JSON members of one entry; a time gives "<name>_utc" and "<name>".
template <class Entry, std::size_t N>
void put_json_members(Output& out, const std::array<Column<Entry>, N>& columns, const Entry& entry,
                      const Context& context, bool& first) {
  for (const Column<Entry>& column : columns) {
    if (column.shape == Shape::table_only) continue;
    const Value value = column.get(entry, context);
    out.add("%s\"%s%s\":", first ? "" : ",", column.name, value.kind == Kind::time ? "_utc" : "");
    first = false;
    put_machine(out, value, HeardFormat::json);
    if (value.kind == Kind::time) out.add(",\"%s\":%" PRId64, column.name, value.number);
  }
}

template <class Entry, std::size_t N>
void put_title_row(Output& out, const std::array<Column<Entry>, N>& columns, bool& first) {
  for (const Column<Entry>& column : columns) {
    out.add("%s%*s", first ? "" : " ", column.width, column.title);
    first = false;
  }
}

template <class Entry, std::size_t N>
void put_table_row(Output& out, const std::array<Column<Entry>, N>& columns, const Entry& entry,
                   const Context& context, bool& first, bool blank = false) {
  for (const Column<Entry>& column : columns) {
    if (!first) out.put(" ");
    first = false;
    if (blank)
      out.add("%*s", column.width, "");
    else
      put_cell(out, column.get(entry, context), column.width);
  }
}

// Calls in order without case, then as received.
int compare_calls(std::string_view a, std::string_view b) {
  for (std::size_t at = 0; at < a.size() && at < b.size(); ++at) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const char ca = lower(a[at]);
    const char cb = lower(b[at]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

std::uint64_t frames_of(const HeardStation& station) {
  return station.heard + station.sent;
}
std::uint64_t frames_of(const HeardLink& link) {
  std::uint64_t frames = 0;
  for (const HeardLinkSide& side : link.sides)
    frames += side.i_frames + side.rr + side.rnr + side.rej + side.srej + side.sabm + side.sabme +
              side.ua + side.disc + side.dm + side.frmr;
  return frames;
}
std::uint64_t frames_of(const HeardRoute& route) {
  return route.count;
}

int compare_key(const HeardStation& a, const HeardStation& b) {
  if (const int by_call = compare_calls(heard_text(a.call), heard_text(b.call))) return by_call;
  return (a.port > b.port) - (a.port < b.port);
}
int compare_key(const HeardLink& a, const HeardLink& b) {
  if (const int by_a = compare_calls(heard_text(a.call_a), heard_text(b.call_a))) return by_a;
  if (const int by_b = compare_calls(heard_text(a.call_b), heard_text(b.call_b))) return by_b;
  return (a.port > b.port) - (a.port < b.port);
}
int compare_key(const HeardRoute& a, const HeardRoute& b) {
  if (const int by_dest = compare_calls(heard_text(a.dest), heard_text(b.dest))) return by_dest;
  if (const int by_neighbour = compare_calls(heard_text(a.neighbour), heard_text(b.neighbour)))
    return by_neighbour;
  if (a.source != b.source) return a.source < b.source ? -1 : 1;
  return (a.port > b.port) - (a.port < b.port);
}

// The order --heard-sort asks for: last heard newest first, first heard
// oldest first, most frames first, or by call; ties by call and port.
template <class Entry>
bool comes_before(const Entry& a, const Entry& b) {
  switch (settings.heard_sort) {
    case HeardSort::last:
      if (a.last != b.last) return a.last > b.last;
      break;
    case HeardSort::first:
      if (a.first != b.first) return a.first < b.first;
      break;
    case HeardSort::frames:
      if (frames_of(a) != frames_of(b)) return frames_of(a) > frames_of(b);
      break;
    case HeardSort::call:
      break;
  }
  return compare_key(a, b) < 0;
}

// The entries in the chosen order, in storage of the table's own size.
template <class Entry, std::size_t Capacity>
std::span<const Entry*> sorted(const HeardTable<Entry, Capacity>& table,
                               std::array<const Entry*, Capacity>& order) {
  std::size_t count = 0;
  table.each([&](const Entry& entry) { order[count++] = &entry; });
  const std::span<const Entry*> entries(order.data(), count);
  std::sort(entries.begin(), entries.end(),
            [](const Entry* a, const Entry* b) { return comes_before(*a, *b); });
  return entries;
}

bool usable(const HeardRoute& route) {
  return route.change != RouteChange::withdrawn;
}

// A route is better than another to the same destination by its quality
// (NODES) or its trip time (INP3); the two sources rank apart.
bool ranks_before(const HeardRoute* a, const HeardRoute* b) {
  if (const int by_dest = compare_calls(heard_text(a->dest), heard_text(b->dest)))
    return by_dest < 0;
  if (a->source != b->source) return a->source < b->source;
  if (usable(*a) != usable(*b)) return usable(*a);
  if (a->source == RouteSource::nodes && a->quality != b->quality) return a->quality > b->quality;
  if (a->source == RouteSource::inp3 && a->trip_time != b->trip_time)
    return a->trip_time < b->trip_time;
  return a->last > b->last;
}

// The best neighbour of each destination and source, by address.
std::span<const HeardRoute*> best_routes(const RouteTable& routes,
                                         std::array<const HeardRoute*, ROUTE_CAPACITY>& ranked,
                                         std::array<const HeardRoute*, ROUTE_CAPACITY>& best) {
  std::size_t count = 0;
  routes.each([&](const HeardRoute& route) { ranked[count++] = &route; });
  std::sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(count), ranks_before);
  std::size_t chosen = 0;
  for (std::size_t at = 0; at < count; ++at) {
    const HeardRoute* route = ranked[at];
    const bool leads =
        at == 0 ||
        !equal_ignoring_case(heard_text(route->dest), heard_text(ranked[at - 1]->dest)) ||
        route->source != ranked[at - 1]->source;
    if (leads && usable(*route)) best[chosen++] = route;
  }
  const std::span<const HeardRoute*> marked(best.data(), chosen);
  std::sort(marked.begin(), marked.end());
  return marked;
}

struct TableInfo {
  const char* title;    // "Stations heard"
  const char* name;     // "stations" in machine formats
  const char* entries;  // "stations" in the header line
  std::size_t size;
  std::size_t capacity;
  std::uint64_t dropped;
};

void put_header_line(Output& out, const HeardTables& tables, const TableInfo& info) {
  out.add("\n%s on ", info.title);
  if (settings.port_filter != 0)
    out.add("port %d", settings.port_filter);
  else
    out.put("all ports");
  if (tables.period.frames == 0) {
    out.put(": no frames");
  } else {
    std::array<char, VALUE_SIZE> first;
    std::array<char, VALUE_SIZE> last;
    utc_text(tables.period.first, false, first);
    utc_text(tables.period.last, false, last);
    out.add(", %s to %s UTC: %" PRIu64 " frame%s", first.data(), last.data(), tables.period.frames,
            tables.period.frames == 1 ? "" : "s");
  }
  out.add(", %zu of %zu %s kept, %" PRIu64 " dropped", info.size, info.capacity, info.entries,
          info.dropped);
  if (tables.dropped_known)
    out.add(", %" PRIu64 " datagram%s dropped by the system", tables.datagrams_dropped,
            tables.datagrams_dropped == 1 ? "" : "s");
  out.put("\n");
}

// The storage for sorting, static because the tables are large and a
// print happens only between two reports.
std::array<const HeardStation*, STATION_CAPACITY> station_order;
std::array<const HeardLink*, LINK_CAPACITY> link_order;
std::array<const HeardRoute*, ROUTE_CAPACITY> route_order;
std::array<const HeardRoute*, ROUTE_CAPACITY> route_ranked;
std::array<const HeardRoute*, ROUTE_CAPACITY> route_best;

TableInfo station_info(const HeardTables& tables) {
  return {"Stations heard",       "stations",       "stations",
          tables.stations.size(), STATION_CAPACITY, tables.stations.dropped()};
}
TableInfo link_info(const HeardTables& tables) {
  return {"Links heard",       "links",       "links",
          tables.links.size(), LINK_CAPACITY, tables.links.dropped()};
}
TableInfo route_info(const HeardTables& tables) {
  return {"Routes heard",       "routes",       "routes",
          tables.routes.size(), ROUTE_CAPACITY, tables.routes.dropped()};
}

// --- aligned columns ---

template <class Entry, std::size_t N>
void write_simple_table(Output& out, const HeardTables& tables, const TableInfo& info,
                        const std::array<Column<Entry>, N>& columns,
                        std::span<const Entry*> entries, const Context& context) {
  put_header_line(out, tables, info);
  bool first = true;
  put_title_row(out, columns, first);
  out.end_line();
  for (const Entry* entry : entries) {
    first = true;
    put_table_row(out, columns, *entry, context, first);
    out.end_line();
  }
}

// A link takes two rows, one for each direction; the second leaves the
// link's own columns blank.
void write_link_table(Output& out, const HeardTables& tables, std::span<const HeardLink*> links,
                      Context context) {
  put_header_line(out, tables, link_info(tables));
  bool first = true;
  put_title_row(out, LINK_LEAD, first);
  put_title_row(out, SIDE_COLUMNS, first);
  put_title_row(out, LINK_COLUMNS, first);
  out.end_line();
  for (const HeardLink* link : links) {
    for (std::size_t side = 0; side < 2; ++side) {
      context.side = side;
      first = true;
      put_table_row(out, LINK_LEAD, *link, context, first, side == 1);
      put_table_row(out, SIDE_COLUMNS, *link, context, first);
      put_table_row(out, LINK_COLUMNS, *link, context, first, side == 1);
      out.end_line();
    }
  }
}

// --- TSV and CSV ---

void write_summary_block(Output& out, const HeardTables& tables, HeardFormat format) {
  const char sep = separator(format);
  out.add(
      "first_utc%cfirst%clast_utc%clast%cframes%cport%cstations%cstations_dropped%clinks%c"
      "links_dropped%croutes%croutes_dropped%cdatagrams_dropped\n",
      sep, sep, sep, sep, sep, sep, sep, sep, sep, sep, sep, sep);
  std::array<char, VALUE_SIZE> first;
  std::array<char, VALUE_SIZE> last;
  if (tables.period.frames != 0) {
    utc_text(tables.period.first, true, first);
    utc_text(tables.period.last, true, last);
    out.add("%s%c%" PRId64 "%c%s%c%" PRId64, first.data(), sep, tables.period.first, sep,
            last.data(), sep, tables.period.last);
  } else {
    out.add("%c%c", sep, sep);
    out.add("%c", sep);
  }
  out.add("%c%" PRIu64 "%c%d", sep, tables.period.frames, sep, settings.port_filter);
  for (const TableInfo& info : {station_info(tables), link_info(tables), route_info(tables)})
    out.add("%c%zu%c%" PRIu64, sep, info.size, sep, info.dropped);
  out.add("%c", sep);
  if (tables.dropped_known) out.add("%" PRIu64, tables.datagrams_dropped);
  out.put("\n");
}

template <class Entry, std::size_t N>
void write_delimited(Output& out, const std::array<Column<Entry>, N>& columns,
                     std::span<const Entry*> entries, const Context& context, HeardFormat format) {
  out.put("\n");
  bool first = true;
  put_names(out, columns, "", format, first);
  out.put("\n");
  for (const Entry* entry : entries) {
    first = true;
    put_machine_row(out, columns, *entry, context, format, first);
    out.put("\n");
  }
}

void write_delimited_links(Output& out, std::span<const HeardLink*> links, Context context,
                           HeardFormat format) {
  out.put("\n");
  bool first = true;
  put_names(out, LINK_LEAD, "", format, first);
  put_names(out, LINK_COLUMNS, "", format, first);
  put_names(out, SIDE_COLUMNS, "a_", format, first);
  put_names(out, SIDE_COLUMNS, "b_", format, first);
  out.put("\n");
  for (const HeardLink* link : links) {
    first = true;
    put_machine_row(out, LINK_LEAD, *link, context, format, first);
    put_machine_row(out, LINK_COLUMNS, *link, context, format, first);
    for (std::size_t side = 0; side < 2; ++side) {
      context.side = side;
      put_machine_row(out, SIDE_COLUMNS, *link, context, format, first);
    }
    out.put("\n");
  }
}

// --- JSON ---

void write_json_period(Output& out, const HeardTables& tables) {
  out.put("{\"period\":{");
  if (tables.period.frames != 0) {
    std::array<char, VALUE_SIZE> first;
    std::array<char, VALUE_SIZE> last;
    utc_text(tables.period.first, true, first);
    utc_text(tables.period.last, true, last);
    out.add("\"first_utc\":\"%s\",\"first\":%" PRId64 ",\"last_utc\":\"%s\",\"last\":%" PRId64,
            first.data(), tables.period.first, last.data(), tables.period.last);
  } else {
    out.put("\"first_utc\":null,\"first\":null,\"last_utc\":null,\"last\":null");
  }
  out.add(",\"frames\":%" PRIu64 ",\"port\":%d,\"datagrams_dropped\":", tables.period.frames,
          settings.port_filter);
  if (tables.dropped_known)
    out.add("%" PRIu64 "}", tables.datagrams_dropped);
  else
    out.put("null}");
}

void begin_json_table(Output& out, const TableInfo& info) {
  out.add(",\n\"%s\":{\"count\":%zu,\"capacity\":%zu,\"dropped\":%" PRIu64 ",\"entries\":[",
          info.name, info.size, info.capacity, info.dropped);
}

template <class Entry, std::size_t N>
void write_json_entries(Output& out, const TableInfo& info,
                        const std::array<Column<Entry>, N>& columns,
                        std::span<const Entry*> entries, const Context& context) {
  begin_json_table(out, info);
  const char* comma = "";
  for (const Entry* entry : entries) {
    out.add("%s\n{", comma);
    comma = ",";
    bool first = true;
    put_json_members(out, columns, *entry, context, first);
    out.put("}");
  }
  out.put("]}");
}

void write_json_links(Output& out, const HeardTables& tables, std::span<const HeardLink*> links,
                      Context context) {
  begin_json_table(out, link_info(tables));
  const char* comma = "";
  for (const HeardLink* link : links) {
    out.add("%s\n{", comma);
    comma = ",";
    bool first = true;
    put_json_members(out, LINK_LEAD, *link, context, first);
    put_json_members(out, LINK_COLUMNS, *link, context, first);
    out.put(",\"sides\":[");
    for (std::size_t side = 0; side < 2; ++side) {
      context.side = side;
      out.put(side == 0 ? "{" : ",{");
      first = true;
      put_json_members(out, SIDE_COLUMNS, *link, context, first);
      out.put("}");
    }
    out.put("]}");
  }
  out.put("]}");
}

}  // namespace

void heard_write(const HeardTables& tables, unsigned which, HeardSink sink) {
  Output out(sink);
  Context context;
  context.newest = tables.period.last;
  const HeardFormat format = settings.heard_format;
  const auto stations = sorted(tables.stations, station_order);
  const auto links = sorted(tables.links, link_order);
  const auto routes = sorted(tables.routes, route_order);
  if ((which & HEARD_ROUTES) != 0)
    context.best = best_routes(tables.routes, route_ranked, route_best);

  switch (format) {
    case HeardFormat::table:
      if ((which & HEARD_STATIONS) != 0)
        write_simple_table(out, tables, station_info(tables), STATION_COLUMNS, stations, context);
      if ((which & HEARD_LINKS) != 0) write_link_table(out, tables, links, context);
      if ((which & HEARD_ROUTES) != 0)
        write_simple_table(out, tables, route_info(tables), ROUTE_COLUMNS, routes, context);
      break;
    case HeardFormat::tsv:
    case HeardFormat::csv:
      write_summary_block(out, tables, format);
      if ((which & HEARD_STATIONS) != 0)
        write_delimited(out, STATION_COLUMNS, stations, context, format);
      if ((which & HEARD_LINKS) != 0) write_delimited_links(out, links, context, format);
      if ((which & HEARD_ROUTES) != 0) write_delimited(out, ROUTE_COLUMNS, routes, context, format);
      break;
    case HeardFormat::json:
      write_json_period(out, tables);
      if ((which & HEARD_STATIONS) != 0)
        write_json_entries(out, station_info(tables), STATION_COLUMNS, stations, context);
      if ((which & HEARD_LINKS) != 0) write_json_links(out, tables, links, context);
      if ((which & HEARD_ROUTES) != 0)
        write_json_entries(out, route_info(tables), ROUTE_COLUMNS, routes, context);
      out.put("}\n");
      break;
  }
}
