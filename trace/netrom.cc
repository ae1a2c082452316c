// NET/ROM network and transport headers, from the keys in which the node
// reports its own decoding of a frame's NET/ROM content.
#include "trace/netrom.h"

#include <array>
#include <span>
#include <string_view>

#include "app/settings.h"
#include "intake/field.h"
#include "intake/field_lookup.h"
#include "output/channels.h"
#include "trace/routing.h"

namespace {

constexpr int L3_TYPE_LENGTH = 79;
constexpr int CALL_LENGTH = 10;
constexpr int SHORT_LENGTH = 8;
constexpr int PAYLOAD_LENGTH = 511;
constexpr int L4_TYPE_LENGTH = 15;
// The longest value of the transport decode: the text of an INFO packet and
// the route of an NRR packet.
constexpr int LONG_LENGTH = 2047;

// The node's pseudo-destination of its round-trip-time probes.
constexpr std::string_view L3RTT_DESTINATION = "L3RTT";

// How a row of a transport kind is printed.
enum class Show {
  KIND,             // always, the format's %s is the kind itself
  FIXED,            // always, the format has no argument
  IF_PRESENT,       // when the key is present, with its value
  ON_CONTINUATION,  // when present: CONTINUATION, then the value
  OR_END,           // when present, with its value; when absent the packet's trace ends
};

// The arguments that a row's format takes, by how the row is shown.
constexpr std::string_view row_arguments(Show show) {
  switch (show) {
    case Show::FIXED:
      return "";
    case Show::ON_CONTINUATION:
      return "ss";
    case Show::KIND:
    case Show::IF_PRESENT:
    case Show::OR_END:
      return "s";
  }
  return "";
}

struct KindRow {
  consteval KindRow(Show show, const char* format, const char* key = nullptr, int limit = 0)
      : show(show), format(format, row_arguments(show)), key(key), limit(limit) {}
  Show show;
  TableFormat format;
  const char* key;
  int limit;
};

struct TransportKind {
  std::string_view kind;  // l4type, compared exactly with case
  bool circuit;           // " cct=" with toCct before the rows
  bool flag_tail;         // choke, NAK and more markers after the rows
  std::span<const KindRow> rows;
};

constexpr KindRow PROT_EXT_ROWS[] = {
    {Show::KIND, " <%s>"},
    {Show::IF_PRESENT, " pf=%s", "l4Family", 80},
    {Show::IF_PRESENT, " prot=%s", "l4Proto", 80},
};

constexpr KindRow KIND_ONLY_ROWS[] = {
    {Show::KIND, " <%s>"},
};

constexpr KindRow NRR_ROWS[] = {
    {Show::KIND, " <%s>"},
    {Show::IF_PRESENT, " id=%s", "nrrId", 80},
    {Show::ON_CONTINUATION, "%sRoute: %s", "nrrRoute", LONG_LENGTH},
};

// The user goes on a line of its own indented by ten; without a user the
// node has nothing more to say about the request.
constexpr KindRow CONN_REQ_ROWS[] = {
    {Show::KIND, " <%s>"},
    {Show::IF_PRESENT, " myCct=%s", "fromCct", SHORT_LENGTH},
    {Show::IF_PRESENT, " w=%s", "window", SHORT_LENGTH},
    {Show::OR_END, "\n          %s", "srcUser", 9},
    {Show::IF_PRESENT, " at %s", "srcNode", 9},
    {Show::IF_PRESENT, " svc=%s", "service", SHORT_LENGTH},
    {Show::IF_PRESENT, " t/o=%s", "l4t1", SHORT_LENGTH},
    {Show::IF_PRESENT, " bpqSpy=%s", "bpqSpy", SHORT_LENGTH},
};

// The window comes before the sender's circuit here, unlike CONN REQ.
constexpr KindRow CONN_ACK_ROWS[] = {
    {Show::KIND, " <%s>"},
    {Show::IF_PRESENT, " w=%s", "window", SHORT_LENGTH},
    {Show::IF_PRESENT, " myCct=%s", "fromCct", SHORT_LENGTH},
};

constexpr KindRow RSET_ROWS[] = {
    {Show::KIND, " <%s>"},
    {Show::IF_PRESENT, " myCct=%s", "fromCct", SHORT_LENGTH},
};

// The label stays open while the sequence numbers go into it.
constexpr KindRow INFO_ROWS[] = {
    {Show::KIND, " <%s"},
    {Show::IF_PRESENT, " S%s", "txSeq", SHORT_LENGTH},
    {Show::IF_PRESENT, " R%s", "rxSeq", SHORT_LENGTH},
    {Show::FIXED, ">"},
    {Show::IF_PRESENT, " ilen=%s", "paylen", SHORT_LENGTH},
    {Show::ON_CONTINUATION, ":%s%s", "text", LONG_LENGTH},
};

constexpr KindRow INFO_ACK_ROWS[] = {
    {Show::KIND, " <%s"},
    {Show::IF_PRESENT, " R%s", "rxSeq", SHORT_LENGTH},
    {Show::FIXED, ">"},
};

// Every kind that the node names. Any other l4type is printed as its
// circuit and flags alone.
constexpr TransportKind TRANSPORT_KINDS[] = {
    {"PROT EXT", false, false, PROT_EXT_ROWS}, {"IP", false, false, KIND_ONLY_ROWS},
    {"NCMP", false, false, KIND_ONLY_ROWS},    {"NDP", false, false, KIND_ONLY_ROWS},
    {"GNET", false, false, KIND_ONLY_ROWS},    {"NRR Request", false, false, NRR_ROWS},
    {"NRR Reply", false, false, NRR_ROWS},     {"CONN REQ", true, false, CONN_REQ_ROWS},
    {"CONN_REQX", true, false, CONN_REQ_ROWS}, {"CONN ACK", true, false, CONN_ACK_ROWS},
    {"CONN NAK", true, false, KIND_ONLY_ROWS}, {"DREQ", true, false, KIND_ONLY_ROWS},
    {"DACK", true, false, KIND_ONLY_ROWS},     {"RSET", true, false, RSET_ROWS},
    {"INFO", true, true, INFO_ROWS},           {"INFO ACK", true, true, INFO_ACK_ROWS},
};

constexpr TransportKind UNLISTED_KIND = {"", true, true, {}};

// A flag is set by the key's presence alone; its value is never looked at.
struct Flag {
  const char* key;
  const char* marker;
};

constexpr std::array<Flag, 3> FLAG_TAIL = {{
    {"chokeFlag", " <CHOKE>"},
    {"nakFlag", " <NAK>"},
    {"moreFlag", " <MORE>"},
}};

const TransportKind& transport_kind(std::string_view kind) {
  for (const TransportKind& entry : TRANSPORT_KINDS)
    if (entry.kind == kind) return entry;
  return UNLISTED_KIND;
}

// Prints the rows of one kind; false when a row ended the packet's trace.
bool print_rows(const char* report, const char* kind, std::span<const KindRow> rows,
                TraceText& text) {
  Field<LONG_LENGTH> value;
  for (const KindRow& row : rows) {
    const char* format = row.format.text();
    switch (row.show) {
      case Show::KIND:
        text.add(format, kind);
        break;
      case Show::FIXED:
        text.add("%s", format);
        break;
      case Show::IF_PRESENT:
        if (value.read(report, row.key, row.limit)) text.add(format, value.shown());
        break;
      case Show::ON_CONTINUATION:
        if (value.read(report, row.key, row.limit)) text.add(format, CONTINUATION, value.shown());
        break;
      case Show::OR_END:
        if (!value.read(report, row.key, row.limit)) return false;
        text.add(format, value.shown());
        break;
    }
  }
  return true;
}

void print_flag_tail(const char* report, TraceText& text) {
  for (const Flag& flag : FLAG_TAIL)
    if (find_value(report, flag.key) != nullptr) text.add("%s", flag.marker);
}

}  // namespace

void decode_l3(const char* report, TraceText& text) {
  if (!trace_flag(TF_L3)) return;
  Field<L3_TYPE_LENGTH> l3_type;
  if (!l3_type.read(report, "l3Type")) {
    if (trace_flag(TF_WARNINGS)) text.add(" [missing 'l3Type']");
    return;
  }
  const std::string_view type = l3_type.text();
  if (type == "NetRom") {
    decode_netrom(report, text);
  } else if (type == "Routing info") {
    decode_routing_info(report, text);
  } else if (type != "Routing poll" && trace_flag(TF_WARNINGS)) {
    // The node's own wording, which leaves the bracket open.
    text.add(" [unknown 'l3type': '%s'", l3_type.shown());
  }
}

void decode_netrom(const char* report, TraceText& text) {
  Field<CALL_LENGTH> value;
  if (value.read(report, "l3src")) text.add("%sNTRM: %s", CONTINUATION, value.shown());
  bool l3rtt = false;
  if (value.read(report, "l3dst")) {
    text.add(" to %s", value.shown());
    l3rtt = value.text() == L3RTT_DESTINATION;
  }
  if (value.read(report, "ttl", SHORT_LENGTH)) text.add(" ttl=%s", value.shown());
  if (l3rtt)
    decode_l3rtt(report, text);
  else
    decode_l4(report, text);
}

void decode_l3rtt(const char* report, TraceText& text) {
  Field<PAYLOAD_LENGTH> value;
  if (value.read(report, "paylen", SHORT_LENGTH)) text.add(" ilen=%s", value.shown());
  if (!trace_flag(TF_L3RTT_INFO)) return;
  if (value.read(report, "payload")) text.add(":%s%s", CONTINUATION, value.shown());
}

void decode_l4(const char* report, TraceText& text) {
  if (!trace_flag(TF_L4)) return;
  Field<L4_TYPE_LENGTH> kind;
  if (!kind.read(report, "l4type")) {
    if (trace_flag(TF_WARNINGS)) text.add(" [missing l4type]\n");
    return;
  }
  // The node's word for a transport header that it could not decode.
  if (kind.text() == "unknown") {
    if (trace_flag(TF_WARNINGS)) text.add(" [unknown l4type]\n");
    return;
  }
  const TransportKind& entry = transport_kind(kind.text());
  if (entry.circuit) {
    Field<SHORT_LENGTH> circuit;
    if (circuit.read(report, "toCct")) text.add(" cct=%s", circuit.shown());
  }
  if (!print_rows(report, kind.shown(), entry.rows, text)) return;
  if (entry.flag_tail) print_flag_tail(report, text);
}
