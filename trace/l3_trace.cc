// The L3 trace line: a NET/ROM packet that the node reports without its
// AX.25 frame, with the header forms of the L2 trace line.
#include "trace/l3_trace.h"

#include <cstdio>
#include <string_view>

#include "app/settings.h"
#include "intake/field.h"
#include "intake/numbers.h"
#include "output/channels.h"
#include "output/preamble.h"
#include "trace/frame_trace.h"
#include "trace/netrom.h"

namespace {

constexpr int CALL_LENGTH = 15;
constexpr int PORT_LENGTH = 7;
constexpr int TTL_LENGTH = 7;
constexpr int SERIAL_LENGTH = 10;
constexpr int NUMBER_LENGTH = 10;  // ilen

// The only network protocol that the node reports at layer 3.
constexpr std::string_view NETROM = "NetRom";

}  // namespace

void trace_l3(const char* report) {
  Field<CALL_LENGTH> report_from;
  Field<CALL_LENGTH> l3_type;
  if (!report_from.read(report, "reportFrom") || !l3_type.read(report, "l3Type")) {
    if (trace_flag(TF_WARNINGS)) con_print("%s", MANDATORY_FIELD_MISSING);
    return;
  }
  Field<PORT_LENGTH> port;
  // A report without a port passes the port filter here; the port is
  // required further on.
  if (settings.port_filter != 0 && port.read(report, "port") &&
      read_int(port.text()) != settings.port_filter)
    return;
  if (l3_type.text() != NETROM) return;

  if (!trace_flag(TF_L3)) return;
  Field<CALL_LENGTH> l3src;
  Field<CALL_LENGTH> l3dst;
  Field<TTL_LENGTH> ttl;
  if (!port.read(report, "port") || !l3src.read(report, "l3src") || !l3dst.read(report, "l3dst") ||
      !ttl.read(report, "ttl")) {
    if (trace_flag(TF_WARNINGS)) con_print("%s", MANDATORY_FIELD_MISSING);
    return;
  }
  FlagField dirn;
  FlagField is_rf;
  dirn.read(report, "dirn");
  is_rf.read(report, "isRF");

  // An L3 trace has no frame type, so a frame-type filter hides them all.
  if (settings.frame_type_filter[0] != '\0') return;
  if (!passes_call_filters(l3src.text(), l3dst.text())) return;

  if (trace_flag(TF_COLOUR)) set_trace_colour(dirn.text(), is_rf.text());
  TraceText text;
  print_preamble_text(report, text);

  Field<NUMBER_LENGTH> value;
  if (value.read(report, "serial", SERIAL_LENGTH)) text.add("[%s] ", value.shown());
  if (trace_flag(TF_HEADER_LINE)) {
    text.add("%s port %s", report_from.shown(), port.shown());
    print_header_line_tail(is_rf, dirn, text);
  } else {
    char header[CALL_LENGTH + PORT_LENGTH + 4];
    std::snprintf(header, sizeof header, "%s(%s)%c", report_from.shown(), port.shown(),
                  direction_letter(dirn));
    text.add("%s ", header);
  }
  text.add("<NO_L2>");
  if (value.read(report, "ilen")) text.add(" ilen=%s", value.shown());
  text.add(" NET/ROM");
  decode_netrom(report, text);
  text.add("\n");
}
