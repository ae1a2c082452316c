// Link, circuit and node reports: a header line that names the object and
// the kind of report, then, except for up events, the node's statistics.
#include "reports/status_reports.h"

#include <span>
#include <string_view>

#include "app/settings.h"
#include "intake/field.h"
#include "intake/field_lookup.h"
#include "intake/numbers.h"
#include "output/channels.h"
#include "output/preamble.h"

namespace {

constexpr const char* OUTGOING_COLOUR = "\033[38;2;255;200;150m";
constexpr const char* INCOMING_COLOUR = "\033[38;2;150;200;255m";
constexpr const char* NODE_COLOUR = "\033[33m";

constexpr int VALUE_LENGTH = 15;
constexpr int CIRCUIT_END_LENGTH = 39;
// "true" or "false": only the first letter counts.
constexpr int IS_RF_LENGTH = 4;

// The direction is compared whole and with case; anything else is incoming.
constexpr std::string_view OUTGOING = "outgoing";
constexpr char OUTGOING_ARROW = '>';
constexpr char INCOMING_ARROW = '<';

constexpr char RF_PORT[] = " RF";
constexpr char OTHER_PORT[] = " IN";

enum class Show {
  IF_PRESENT,  // the value in the item's format
  IF_NONZERO,  // the value as read, when it reads as a number other than 0
  PORT_KIND,   // RF_PORT or OTHER_PORT by the first letter; nothing when empty
  LINE_BREAK,  // opens a statistics line whether or not any item follows
};

// The arguments of an item's format: the value, or nothing for the two
// kinds whose text is printed as it is.
constexpr std::string_view item_arguments(Show show) {
  return show == Show::IF_PRESENT || show == Show::IF_NONZERO ? "s" : "";
}

struct Item {
  consteval Item(Show show, std::string_view key, const char* format, int limit = VALUE_LENGTH,
                 std::string_view needs = {})
      : show(show), key(key), format(format, item_arguments(show)), limit(limit), needs(needs) {
    if (limit > VALUE_LENGTH) throw "an item keeps no more than VALUE_LENGTH characters";
  }
  Show show;
  std::string_view key;
  TableFormat format;
  int limit;
  std::string_view needs;  // left out unless this key is present too
};

// Every item that can open a statistics line begins with a blank, so a line
// with any item on it is indented by three.
constexpr Item LINE_BREAK = {Show::LINE_BREAK, {}, "\n  "};

constexpr Item NODE_NAME[] = {
    {Show::IF_PRESENT, "nodeAlias", ":%s"},
};

constexpr Item NODE_HEADER_TAIL[] = {
    {Show::IF_PRESENT, "locator", " %s"},
    {Show::IF_PRESENT, "software", " %s"},
    {Show::IF_PRESENT, "version", " %s"},
};

constexpr Item NODE_STATISTICS[] = {
    LINE_BREAK,
    {Show::IF_PRESENT, "uptimeSecs", " up=%ss"},
    {Show::IF_PRESENT, "reason", " reason=%s"},
    {Show::IF_PRESENT, "linksIn", " linksIn=%s"},
    {Show::IF_PRESENT, "linksOut", " linksOut=%s"},
    {Show::IF_PRESENT, "cctsIn", " cctsIn=%s"},
    {Show::IF_PRESENT, "cctsOut", " cctsOut=%s"},
    {Show::IF_PRESENT, "l3Rlyd", " L3Relayed=%s"},
};

constexpr Item CIRCUIT_HEADER_TAIL[] = {
    {Show::IF_NONZERO, "service", " svc=%s"},
    {Show::IF_PRESENT, "id", " id=%s"},
};

constexpr Item CIRCUIT_STATISTICS[] = {
    LINE_BREAK,
    {Show::IF_PRESENT, "upForSecs", " up=%s"},
    {Show::IF_PRESENT, "segsSent", " sent=%s"},
    {Show::IF_PRESENT, "segsResent", " resent=%s"},
    {Show::IF_PRESENT, "segsRcvd", " rcvd=%s"},
    {Show::IF_PRESENT, "segsQueued", " txq=%s"},
    LINE_BREAK,
    {Show::IF_PRESENT, "bytesSent", " bytsTx=%s"},
    {Show::IF_PRESENT, "bytesRcvd", " bytsRx=%s"},
    {Show::IF_PRESENT, "reason", " reason=%s"},
};

constexpr Item LINK_HEADER_TAIL[] = {
    {Show::IF_PRESENT, "id", " id=%s"},
    {Show::PORT_KIND, "isRF", "", IS_RF_LENGTH},
};

// The up time stays on the header line; the queue peak and limit only
// qualify the queue length, so they go with it.
constexpr Item LINK_STATISTICS[] = {
    {Show::IF_PRESENT, "upForSecs", " up=%ss"},
    LINE_BREAK,
    {Show::IF_PRESENT, "frmsSent", " sent=%s"},
    {Show::IF_PRESENT, "frmsResent", " resent=%s"},
    {Show::IF_PRESENT, "frmsRcvd", " rcvd=%s"},
    {Show::IF_PRESENT, "bytesSent", " bytsTx=%s"},
    {Show::IF_PRESENT, "bytesRcvd", " bytsRx=%s"},
    LINE_BREAK,
    {Show::IF_PRESENT, "L2RttMs", " rtt=%sms"},
    {Show::IF_PRESENT, "frmsQueued", " txq=%s"},
    {Show::IF_PRESENT, "frmsQdPeak", "/%s", VALUE_LENGTH, "frmsQueued"},
    {Show::IF_PRESENT, "frmQMax", "(%s)", VALUE_LENGTH, "frmsQueued"},
    {Show::IF_PRESENT, "bpsTxMean", " bpsT=%s"},
    {Show::IF_PRESENT, "bpsRxMean", " bpsR=%s"},
    {Show::IF_PRESENT, "reason", " reason=%s"},
};

void print_items(const char* report, std::span<const Item> items, TraceText& text) {
  Field<VALUE_LENGTH> value;
  for (const Item& item : items) {
    const char* format = item.format.text();
    if (item.show == Show::LINE_BREAK) {
      text.add("%s", format);
      continue;
    }
    if (!value.read(report, item.key, item.limit)) continue;
    if (!item.needs.empty() && find_value(report, item.needs) == nullptr) continue;
    switch (item.show) {
      case Show::IF_PRESENT:
        text.add(format, value.shown());
        break;
      case Show::IF_NONZERO:
        if (read_int(value.text()) != 0) text.add(format, value.shown());
        break;
      case Show::PORT_KIND:
        if (!value.empty()) text.add("%s", value.text()[0] == 't' ? RF_PORT : OTHER_PORT);
        break;
      case Show::LINE_BREAK:
        break;
    }
  }
}

// An up event ends with its header line; the other kinds go on with the
// statistics.
void print_rest(const char* report, ReportKind kind, std::span<const Item> statistics,
                TraceText& text) {
  if (kind != UP) print_items(report, statistics, text);
  text.add("\n");
}

// The colour comes first, so that it colours the echo too.
void print_preamble(const char* report, const char* colour, TraceText& text) {
  if (trace_flag(TF_COLOUR)) print_colour(colour);
  print_preamble_text(report, text);
}

bool is_outgoing(std::string_view direction) {
  return direction == OUTGOING;
}

}  // namespace

void status_preamble(const char* report, bool outgoing, TraceText& text) {
  print_preamble(report, outgoing ? OUTGOING_COLOUR : INCOMING_COLOUR, text);
}

void node_report(const char* report, ReportKind kind) {
  if (!trace_flag(TF_NODE_REPORTS)) return;
  Field<VALUE_LENGTH> node_call;
  if (!node_call.read(report, "nodeCall")) return;

  TraceText text;
  print_preamble(report, NODE_COLOUR, text);
  text.add("%s", node_call.shown());
  print_items(report, NODE_NAME, text);
  text.add(" <NODE %s>", report_kind_label(kind));
  print_items(report, NODE_HEADER_TAIL, text);
  print_rest(report, kind, NODE_STATISTICS, text);
}

void circuit_report(const char* report, ReportKind kind) {
  if (!trace_flag(TF_CIRCUIT_REPORTS)) return;
  Field<VALUE_LENGTH> node;
  Field<CIRCUIT_END_LENGTH> local;
  Field<CIRCUIT_END_LENGTH> remote;
  Field<VALUE_LENGTH> direction;
  if (!node.read(report, "node") || !local.read(report, "local") ||
      !remote.read(report, "remote") || !direction.read(report, "direction"))
    return;
  const bool outgoing = is_outgoing(direction.text());

  TraceText text;
  status_preamble(report, outgoing, text);
  text.add("%s ", node.shown());
  text.add("<CCT %s> [%s %c %s]", report_kind_label(kind), local.shown(),
           outgoing ? OUTGOING_ARROW : INCOMING_ARROW, remote.shown());
  print_items(report, CIRCUIT_HEADER_TAIL, text);
  print_rest(report, kind, CIRCUIT_STATISTICS, text);
}

void link_report(const char* report, ReportKind kind) {
  if (!trace_flag(TF_LINK_REPORTS)) return;
  Field<VALUE_LENGTH> node;
  Field<VALUE_LENGTH> port;
  Field<VALUE_LENGTH> local;
  Field<VALUE_LENGTH> remote;
  Field<VALUE_LENGTH> direction;
  if (!node.read(report, "node") || !port.read(report, "port") || !local.read(report, "local") ||
      !remote.read(report, "remote") || !direction.read(report, "direction"))
    return;
  const bool outgoing = is_outgoing(direction.text());
  if (settings.port_filter != 0 && read_int(port.text()) != settings.port_filter) return;

  TraceText text;
  status_preamble(report, outgoing, text);
  text.add("%s(%s) ", node.shown(), port.shown());
  text.add("<LINK %s> %s %c %s", report_kind_label(kind), local.shown(),
           outgoing ? OUTGOING_ARROW : INCOMING_ARROW, remote.shown());
  print_items(report, LINK_HEADER_TAIL, text);
  print_rest(report, kind, LINK_STATISTICS, text);
}
