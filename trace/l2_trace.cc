// The L2 trace line: filters, preamble, header and the AX.25 frame, then the
// decoder of what the frame carries.
#include "trace/l2_trace.h"

#include <cstdio>
#include <string_view>

#include "app/settings.h"
#include "intake/array_lookup.h"
#include "intake/field.h"
#include "intake/numbers.h"
#include "output/channels.h"
#include "output/preamble.h"
#include "trace/frame_trace.h"
#include "trace/ip_arp.h"
#include "trace/netrom.h"

namespace {

constexpr int CALL_LENGTH = 15;
constexpr int PORT_LENGTH = 15;
constexpr int L2_TYPE_LENGTH = 7;
constexpr int PTCL_LENGTH = 7;
constexpr int SERIAL_LENGTH = 10;
constexpr int MARKER_LENGTH = 2;  // cr, pf
constexpr int SEQUENCE_LENGTH = 3;
constexpr int NUMBER_LENGTH = 10;  // ilen, pid
constexpr int TEXT_LENGTH = 1023;
// The digipeaters an address field can name.
constexpr int MAX_DIGIS = 8;

// The path of a report's "digis" array of calls, each ",%s" after the
// destination; a report without one adds nothing.
void print_digis(const char* report, TraceText& text) {
  const char* at = find_array(report, "digis");
  if (at == nullptr) return;
  Field<CALL_LENGTH> call;
  for (int shown = 0; shown < MAX_DIGIS; ++shown) {
    at = call.read_next_string(at);
    if (at == nullptr) return;
    text.add(",%s", call.shown());
  }
}

}  // namespace

void trace_l2(const char* report) {
  if (!trace_flag(TF_L2)) return;
  const bool classic = trace_flag(TF_CLASSIC);

  Field<CALL_LENGTH> report_from;
  Field<PORT_LENGTH> port;
  Field<CALL_LENGTH> srce;
  Field<CALL_LENGTH> dest;
  Field<L2_TYPE_LENGTH> l2_type;
  if (!report_from.read(report, "reportFrom") || !port.read(report, "port") ||
      !srce.read(report, "srce") || !dest.read(report, "dest") || !l2_type.read(report, "l2Type")) {
    if (trace_flag(TF_WARNINGS)) con_print("%s", MANDATORY_FIELD_MISSING);
    return;
  }

  FlagField dirn;
  FlagField is_rf;
  Field<PTCL_LENGTH> ptcl;
  dirn.read(report, "dirn");
  is_rf.read(report, "isRF");
  ptcl.read(report, "ptcl");

  // The UI switch compares with case: a lower-case "ui" is shown regardless.
  if (l2_type.text() == "UI" && !trace_flag(TF_UI)) return;
  if (settings.port_filter != 0 && read_int(port.text()) != settings.port_filter) return;
  if (filter_rejects(settings.frame_type_filter, l2_type.text())) return;
  if (!passes_call_filters(srce.text(), dest.text())) return;
  if (settings.protocol_filter[0] != '\0' &&
      (ptcl.empty() || filter_rejects(settings.protocol_filter, ptcl.text())))
    return;

  if (trace_flag(TF_COLOUR)) set_trace_colour(dirn.text(), is_rf.text());
  TraceText text;
  print_preamble_text(report, text, classic);

  Field<TEXT_LENGTH> value;
  if (trace_flag(TF_SERIAL) && value.read(report, "serial", SERIAL_LENGTH))
    text.add("[%s] ", value.shown());
  if (trace_flag(TF_HEADER_LINE) || classic) {
    if (trace_flag(TF_REPORTER)) text.add("%s ", report_from.shown());
    text.add("port %s", port.shown());
    print_header_line_tail(is_rf, dirn, text);
  } else {
    if (trace_flag(TF_REPORTER)) text.add("%s", report_from.shown());
    char port_and_direction[PORT_LENGTH + 4];
    std::snprintf(port_and_direction, sizeof port_and_direction, "(%s)%c", port.shown(),
                  direction_letter(dirn));
    text.add("%s ", port_and_direction);
  }

  text.add("%s>%s", srce.shown(), dest.shown());
  print_digis(report, text);
  text.add(" <%s", l2_type.shown());
  if (value.read(report, "cr", MARKER_LENGTH)) text.add(" %s", value.shown());
  if (value.read(report, "pf", MARKER_LENGTH)) text.add(" %s", value.shown());
  if (value.read(report, "rseq", SEQUENCE_LENGTH)) text.add(" R%s", value.shown());
  if (value.read(report, "tseq", SEQUENCE_LENGTH)) text.add(" S%s", value.shown());
  text.add(">");
  if (value.read(report, "ilen", NUMBER_LENGTH)) text.add(" ilen=%s", value.shown());
  if (value.read(report, "pid", NUMBER_LENGTH)) text.add(" pid=%s", value.shown());
  if (!ptcl.empty()) text.add(" %s", ptcl.shown());

  const std::string_view protocol = ptcl.text();
  if (protocol == "NET/ROM") {
    decode_l3(report, text);
  } else if (protocol == "DATA") {
    if (value.read(report, "text")) text.add(":%s%s", CONTINUATION, value.shown());
  } else if (protocol == "IP") {
    decode_ip(report, text);
  } else if (protocol == "ARP") {
    decode_arp(report, text);
  }
  text.add("\n");
}
