// The heard file's writer and its reader, from one list of columns a kind.
#include "heard/heard_file.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace {

constexpr std::string_view FORMAT_NAME = "pellarin-heard";
constexpr std::string_view FORMAT_VERSION = "1";

constexpr std::string_view PERIOD_KIND = "period";
constexpr std::string_view STATION_KIND = "station";
constexpr std::string_view LINK_KIND = "link";
constexpr std::string_view ROUTE_KIND = "route";
constexpr std::string_view END_KIND = "end";

// A text column holds no blank, so that awk's default field splitting and a
// spreadsheet's tab splitting agree: an empty text is written as "-", and
// every byte outside printable ASCII, the backslash and a text that is "-"
// itself are written as \xHH.
constexpr std::string_view EMPTY_TEXT = "-";

template <class Value>
struct Word {
  Value value;
  std::string_view word;
};

constexpr Word<HeardRadio> RADIO_WORDS[] = {
    {HeardRadio::unknown, "-"}, {HeardRadio::radio, "radio"}, {HeardRadio::wire, "wire"}};
constexpr Word<RouteSource> SOURCE_WORDS[] = {{RouteSource::nodes, "nodes"},
                                              {RouteSource::inp3, "inp3"}};
constexpr Word<RouteChange> CHANGE_WORDS[] = {{RouteChange::fresh, "new"},
                                              {RouteChange::same, "same"},
                                              {RouteChange::better, "better"},
                                              {RouteChange::worse, "worse"},
                                              {RouteChange::withdrawn, "withdrawn"}};
constexpr Word<std::uint8_t> MODULUS_WORDS[] = {{8, "8"}, {128, "128"}};
// A set of these is written joined by commas, in this order; "-" for none.
constexpr Word<std::uint32_t> PROTOCOL_WORDS[] = {{PTCL_NETROM, "NET/ROM"},
                                                  {PTCL_IP, "IP"},
                                                  {PTCL_ARP, "ARP"},
                                                  {PTCL_DATA, "DATA"},
                                                  {PTCL_OTHER, "other"}};
constexpr char PROTOCOL_SEPARATOR = ',';

// The period line: what the tables' headers tell beyond their entries.
struct PeriodRow {
  HeardPeriod period;
  std::uint64_t stations_dropped = 0;
  std::uint64_t links_dropped = 0;
  std::uint64_t routes_dropped = 0;
};

// The columns of each kind of line, in order. Each list serves three
// visitors: the column line's names, the writer and the reader, so that
// the three cannot disagree. A link's sequence state is left out: after a
// restart the link is heard from its middle, as any link first heard then.

template <class Columns, class Row>
void period_columns(Columns& columns, Row& row) {
  columns.number("first", row.period.first);
  columns.number("last", row.period.last);
  columns.number("frames", row.period.frames);
  columns.number("stations_dropped", row.stations_dropped);
  columns.number("links_dropped", row.links_dropped);
  columns.number("routes_dropped", row.routes_dropped);
}

template <class Columns, class Station>
void station_columns(Columns& columns, Station& station) {
  columns.number("port", station.port);
  columns.text("call", station.call);
  columns.number("first", station.first);
  columns.number("last", station.last);
  columns.number("heard", station.heard);
  columns.number("sent", station.sent);
  columns.number("heard_i", station.heard_i);
  columns.number("heard_s", station.heard_s);
  columns.number("heard_u", station.heard_u);
  columns.number("heard_ui", station.heard_ui);
  columns.number("info_bytes", station.info_bytes);
  columns.flags("protocols", station.protocols, PROTOCOL_WORDS);
  columns.word("radio", station.radio, RADIO_WORDS);
  columns.text("last_dest", station.last_dest);
}

template <class Columns, class Side>
void side_columns(Columns& columns, Side& side) {
  columns.number("i", side.i_frames);
  columns.number("i_bytes", side.i_bytes);
  columns.number("resent", side.resent);
  columns.number("rr", side.rr);
  columns.number("rnr", side.rnr);
  columns.number("rej", side.rej);
  columns.number("srej", side.srej);
  columns.number("sabm", side.sabm);
  columns.number("sabme", side.sabme);
  columns.number("ua", side.ua);
  columns.number("disc", side.disc);
  columns.number("dm", side.dm);
  columns.number("frmr", side.frmr);
}

template <class Columns, class Link>
void link_columns(Columns& columns, Link& link) {
  columns.number("port", link.port);
  columns.text("call_a", link.call_a);
  columns.text("call_b", link.call_b);
  columns.number("first", link.first);
  columns.number("last", link.last);
  columns.word("modulus", link.modulus, MODULUS_WORDS);
  columns.number("ups", link.ups);
  columns.number("downs", link.downs);
  columns.prefix("ab_");
  side_columns(columns, link.sides[0]);
  columns.prefix("ba_");
  side_columns(columns, link.sides[1]);
  columns.prefix("");
}

template <class Columns, class Route>
void route_columns(Columns& columns, Route& route) {
  columns.number("port", route.port);
  columns.text("dest", route.dest);
  columns.text("neighbour", route.neighbour);
  columns.text("alias", route.alias);
  columns.word("source", route.source, SOURCE_WORDS);
  columns.number("quality", route.quality);
  columns.text("via", route.via);
  columns.number("hops", route.hops);
  columns.number("trip_time", route.trip_time);
  columns.number("first", route.first);
  columns.number("last", route.last);
  columns.number("count", route.count);
  columns.word("change", route.change, CHANGE_WORDS);
}

bool written_plain(unsigned char byte) {
  return byte > 0x20 && byte < 0x7F && byte != '\\';
}

// One line being written, in a buffer of the longest line a reader takes.
class LineOut {
 public:
  void put(std::string_view piece) {
    if (piece.size() > buffer_.size() - used_) {
      overflow_ = true;
      return;
    }
    for (const char c : piece) buffer_[used_++] = c;
  }
  void put_char(char c) { put(std::string_view(&c, 1)); }

  // Ends the line and hands it to the sink; false when it did not fit or
  // the sink refused it.
  bool send(HeardFileSink sink, void* context) {
    put_char('\n');
    const bool sent = !overflow_ && sink(context, std::string_view(buffer_.data(), used_));
    used_ = 0;
    overflow_ = false;
    return sent;
  }

 private:
  std::array<char, HEARD_LINE_LIMIT> buffer_{};
  std::size_t used_ = 0;
  bool overflow_ = false;
};

// The column line of a kind: "# KIND" and the column names.
class ColumnNames {
 public:
  explicit ColumnNames(LineOut& out) : out_(out) {}
  template <class Value>
  void number(const char* name, const Value&) {
    add(name);
  }
  template <std::size_t N>
  void text(const char* name, const std::array<char, N>&) {
    add(name);
  }
  template <class Value, std::size_t N>
  void word(const char* name, const Value&, const Word<Value> (&)[N]) {
    add(name);
  }
  template <std::size_t N>
  void flags(const char* name, const std::uint32_t&, const Word<std::uint32_t> (&)[N]) {
    add(name);
  }
  void prefix(const char* prefix) { prefix_ = prefix; }

 private:
  void add(const char* name) {
    out_.put_char('\t');
    out_.put(prefix_);
    out_.put(name);
  }
  LineOut& out_;
  std::string_view prefix_;
};

// An entry's values, each after a tab.
class ValueWriter {
 public:
  explicit ValueWriter(LineOut& out) : out_(out) {}
  template <class Value>
  void number(const char*, const Value& value) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out_.put_char('\t');
    out_.put(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
  }
  template <std::size_t N>
  void text(const char*, const std::array<char, N>& value) {
    out_.put_char('\t');
    const std::string_view text = heard_text(value);
    if (text.empty()) {
      out_.put(EMPTY_TEXT);
      return;
    }
    constexpr char HEX[] = "0123456789abcdef";
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (written_plain(byte) && text != EMPTY_TEXT) {
        out_.put_char(c);
        continue;
      }
      const char escape[] = {'\\', 'x', HEX[byte >> 4], HEX[byte & 0xF]};
      out_.put(std::string_view(escape, sizeof escape));
    }
  }
  template <class Value, std::size_t N>
  void word(const char*, const Value& value, const Word<Value> (&words)[N]) {
    out_.put_char('\t');
    for (const Word<Value>& known : words)
      if (known.value == value) return out_.put(known.word);
    // A value no word stands for would not read back: the first word does.
    out_.put(words[0].word);
  }
  template <std::size_t N>
  void flags(const char*, const std::uint32_t& value, const Word<std::uint32_t> (&words)[N]) {
    out_.put_char('\t');
    bool any = false;
    for (const Word<std::uint32_t>& known : words) {
      if ((value & known.value) == 0) continue;
      if (any) out_.put_char(PROTOCOL_SEPARATOR);
      out_.put(known.word);
      any = true;
    }
    if (!any) out_.put(EMPTY_TEXT);
  }
  void prefix(const char*) {}

 private:
  LineOut& out_;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An entry's values read from the fields after its kind. The first fault
// is kept, naming its column; the values read after it do not matter.
class ValueReader {
 public:
  explicit ValueReader(std::string_view fields) : rest_(fields), more_(!fields.empty()) {}

  template <class Value>
  void number(const char* name, Value& value) {
    const std::string_view field = next(name);
    const auto [end, result] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result != std::errc() || end != field.data() + field.size() || field.empty())
      fail("a bad number", name);
  }
  template <std::size_t N>
  void text(const char* name, std::array<char, N>& value) {
    const std::string_view field = next(name);
    if (field == EMPTY_TEXT) return heard_set_text(value, "");
    std::array<char, N> decoded{};
    std::size_t length = 0;
    for (std::size_t at = 0; at < field.size(); ++at) {
      auto byte = static_cast<unsigned char>(field[at]);
      if (byte == '\\') {
        const int high =
            at + 3 < field.size() && field[at + 1] == 'x' ? hex_digit(field[at + 2]) : -1;
        const int low = high >= 0 ? hex_digit(field[at + 3]) : -1;
        // A NUL would end the text early.
        if (low < 0 || (high == 0 && low == 0)) return fail("a bad escape", name);
        byte = static_cast<unsigned char>(high * 16 + low);
        at += 3;
      } else if (!written_plain(byte)) {
        return fail("a bad character", name);
      }
      if (length == N - 1) return fail("too long a text", name);
      decoded[length++] = static_cast<char>(byte);
    }
    if (length == 0) return fail("an empty text", name);
    value = decoded;
  }
  template <class Value, std::size_t N>
  void word(const char* name, Value& value, const Word<Value> (&words)[N]) {
    const std::string_view field = next(name);
    for (const Word<Value>& known : words)
      if (known.word == field) {
        value = known.value;
        return;
      }
    fail("an unknown word", name);
  }
  template <std::size_t N>
  void flags(const char* name, std::uint32_t& value, const Word<std::uint32_t> (&words)[N]) {
    std::string_view field = next(name);
    value = 0;
    if (field == EMPTY_TEXT) return;
    while (true) {
      const std::size_t comma = field.find(PROTOCOL_SEPARATOR);
      const std::string_view item = field.substr(0, comma);
      bool known = false;
      for (const Word<std::uint32_t>& flag : words)
        if (flag.word == item && (value & flag.value) == 0) {
          value |= flag.value;
          known = true;
        }
      if (!known) return fail("an unknown or repeated word", name);
      if (comma == std::string_view::npos) return;
      field.remove_prefix(comma + 1);
    }
  }
  void prefix(const char* prefix) { prefix_ = prefix; }

  // After the last column: the first fault, or one for fields left over.
  bool finish(std::string& error) {
    if (fault_.empty() && more_) fault_ = "more fields than columns";
    error = fault_;
    return fault_.empty();
  }

 private:
  std::string_view next(const char* name) {
    if (!more_) {
      fail("a missing field", name);
      return {};
    }
    const std::size_t tab = rest_.find('\t');
    const std::string_view field = rest_.substr(0, tab);
    more_ = tab != std::string_view::npos;
    rest_ = more_ ? rest_.substr(tab + 1) : std::string_view();
    return field;
  }

  void fail(const char* what, const char* name) {
    if (!fault_.empty()) return;
    fault_ = std::string(what) + " in column '" + std::string(prefix_) + name + "'";
  }

  std::string_view rest_;
  bool more_;
  std::string_view prefix_;
  std::string fault_;
};

template <class Table>
struct EntryOf;
template <class Entry, std::size_t Capacity>
struct EntryOf<HeardTable<Entry, Capacity>> {
  using type = Entry;
};

template <class Row, class Visit>
bool write_kind(LineOut& out, std::string_view kind, HeardFileSink sink, void* context,
                const Row& sample, Visit&& visit) {
  out.put("# ");
  out.put(kind);
  ColumnNames names(out);
  visit(names, sample);
  return out.send(sink, context);
}

template <class Row, class Visit>
bool write_row(LineOut& out, std::string_view kind, HeardFileSink sink, void* context,
               const Row& row, Visit&& visit) {
  out.put(kind);
  ValueWriter values(out);
  visit(values, row);
  return out.send(sink, context);
}

template <class Table, class Visit>
bool write_table(LineOut& out, std::string_view kind, HeardFileSink sink, void* context,
                 const Table& table, Visit&& visit) {
  bool written = write_kind(out, kind, sink, context, typename EntryOf<Table>::type{}, visit);
  table.each([&](const auto& entry) {
    if (written) written = write_row(out, kind, sink, context, entry, visit);
  });
  return written;
}

const auto PERIOD_COLUMNS = [](auto& columns, auto& row) { period_columns(columns, row); };
const auto STATION_COLUMNS = [](auto& columns, auto& row) { station_columns(columns, row); };
const auto LINK_COLUMNS = [](auto& columns, auto& row) { link_columns(columns, row); };
const auto ROUTE_COLUMNS = [](auto& columns, auto& row) { route_columns(columns, row); };

// The reading of one file, line by line.
class FileReader {
 public:
  explicit FileReader(HeardTables& tables) : tables_(tables) {}

  // False at a fault, with its reason in `error`.
  bool line(std::string_view text, std::string& error) {
    if (ended_) return fault("text after the end line", error);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (!started_) return first_line(text, error);
    if (text.empty() || text.front() == '#') return true;
    const std::size_t tab = text.find('\t');
    const std::string_view kind = text.substr(0, tab);
    const std::string_view fields =
        tab == std::string_view::npos ? std::string_view() : text.substr(tab + 1);
    if (kind == STATION_KIND) return entry(fields, tables_.stations, STATION_COLUMNS, error);
    if (kind == LINK_KIND) return entry(fields, tables_.links, LINK_COLUMNS, error);
    if (kind == ROUTE_KIND) return entry(fields, tables_.routes, ROUTE_COLUMNS, error);
    if (kind == PERIOD_KIND) return period(fields, error);
    if (kind == END_KIND) return end(fields, error);
    return fault("an unknown kind of line", error);
  }

  bool ended() const { return ended_; }

 private:
  bool first_line(std::string_view text, std::string& error) {
    started_ = true;
    const std::string_view expected(HEARD_FILE_FIRST_LINE, sizeof HEARD_FILE_FIRST_LINE - 2);
    if (text == expected) return true;
    const std::size_t tab = text.find('\t');
    if (text.substr(0, tab) != FORMAT_NAME) return fault("not a heard file", error);
    const std::string_view version = text.substr(tab + 1);
    const bool shown = !version.empty() && version.size() <= 9 &&
                       version.find_first_not_of("0123456789") == std::string_view::npos;
    error = std::string(shown ? "version " : "another version") +
            std::string(shown ? version : "") + ", not " + std::string(FORMAT_VERSION);
    return false;
  }

  template <class Table, class Visit>
  bool entry(std::string_view fields, Table& table, Visit&& visit, std::string& error) {
    typename EntryOf<Table>::type loaded{};
    ValueReader values(fields);
    visit(values, loaded);
    if (!values.finish(error)) return false;
    if (table.find(loaded) != nullptr) return fault("a second entry with the same key", error);
    if (table.size() == Table::CAPACITY) return fault("more entries than the table holds", error);
    table.restore(loaded);
    return true;
  }

  bool period(std::string_view fields, std::string& error) {
    if (period_read_) return fault("a second period line", error);
    PeriodRow row;
    ValueReader values(fields);
    PERIOD_COLUMNS(values, row);
    if (!values.finish(error)) return false;
    tables_.period = row.period;
    tables_.stations.set_dropped(row.stations_dropped);
    tables_.links.set_dropped(row.links_dropped);
    tables_.routes.set_dropped(row.routes_dropped);
    period_read_ = true;
    return true;
  }

  bool end(std::string_view fields, std::string& error) {
    std::uint64_t stations = 0;
    std::uint64_t links = 0;
    std::uint64_t routes = 0;
    ValueReader values(fields);
    values.number("stations", stations);
    values.number("links", links);
    values.number("routes", routes);
    if (!values.finish(error)) return false;
    if (!period_read_) return fault("no period line", error);
    if (stations != tables_.stations.size() || links != tables_.links.size() ||
        routes != tables_.routes.size())
      return fault("counts that are not the entries'", error);
    ended_ = true;
    return true;
  }

  static bool fault(const char* reason, std::string& error) {
    error = reason;
    return false;
  }

  HeardTables& tables_;
  bool started_ = false;
  bool period_read_ = false;
  bool ended_ = false;
};

enum class LineRead { LINE, END_OF_FILE, TOO_LONG, UNFINISHED };

// One line without its line feed; a NUL byte is kept, to be refused.
LineRead next_line(std::FILE* in, std::array<char, HEARD_LINE_LIMIT>& buffer, std::size_t& length) {
  length = 0;
  for (int c = std::getc(in); c != EOF; c = std::getc(in)) {
    if (c == '\n') return LineRead::LINE;
    if (length == buffer.size() - 1) return LineRead::TOO_LONG;
    buffer[length++] = static_cast<char>(c);
  }
  return length == 0 ? LineRead::END_OF_FILE : LineRead::UNFINISHED;
}

}  // namespace

bool write_heard_file(const HeardTables& tables, HeardFileSink sink, void* context) {
  LineOut out;
  out.put(std::string_view(HEARD_FILE_FIRST_LINE, sizeof HEARD_FILE_FIRST_LINE - 2));
  if (!out.send(sink, context)) return false;
  PeriodRow period;
  period.period = tables.period;
  period.stations_dropped = tables.stations.dropped();
  period.links_dropped = tables.links.dropped();
  period.routes_dropped = tables.routes.dropped();
  if (!write_kind(out, PERIOD_KIND, sink, context, period, PERIOD_COLUMNS) ||
      !write_row(out, PERIOD_KIND, sink, context, period, PERIOD_COLUMNS) ||
      !write_table(out, STATION_KIND, sink, context, tables.stations, STATION_COLUMNS) ||
      !write_table(out, LINK_KIND, sink, context, tables.links, LINK_COLUMNS) ||
      !write_table(out, ROUTE_KIND, sink, context, tables.routes, ROUTE_COLUMNS))
    return false;
  out.put(END_KIND);
  ValueWriter counts(out);
  counts.number("stations", tables.stations.size());
  counts.number("links", tables.links.size());
  counts.number("routes", tables.routes.size());
  return out.send(sink, context);
}

bool read_heard_file(std::FILE* in, HeardTables& tables, std::string& error) {
  tables.clear();
  FileReader reader(tables);
  std::array<char, HEARD_LINE_LIMIT> buffer{};
  std::size_t length = 0;
  std::size_t number = 0;
  for (;;) {
    const LineRead read = next_line(in, buffer, length);
    if (read == LineRead::END_OF_FILE) break;
    ++number;
    std::string reason;
    if (read == LineRead::TOO_LONG) reason = "a line too long";
    if (read == LineRead::UNFINISHED) reason = "cut short: no line feed";
    if (reason.empty()) reader.line(std::string_view(buffer.data(), length), reason);
    if (!reason.empty()) {
      error = "line " + std::to_string(number) + ": " + reason;
      tables.clear();
      return false;
    }
  }
  if (std::ferror(in) != 0 || !reader.ended()) {
    error = std::ferror(in) != 0 ? "a read error"
            : number == 0        ? "an empty file"
                                 : "cut short: no end line";
    tables.clear();
    return false;
  }
  return true;
}
