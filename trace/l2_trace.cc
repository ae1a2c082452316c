// The L2 trace line: filters, preamble, header and the AX.25 frame, then the
// decoder of what the frame carries.
#include "trace/l2_trace.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <string_view>

#include "app/settings.h"
#include "intake/field_lookup.h"
#include "intake/numbers.h"
#include "output/channels.h"
#include "output/preamble.h"
#include "trace/ip_arp.h"
#include "trace/netrom.h"

namespace {

constexpr int CALL_LENGTH = 15;
constexpr int PORT_LENGTH = 15;
constexpr int L2_TYPE_LENGTH = 7;
constexpr int FLAG_LENGTH = 4;  // dirn, isRF
constexpr int PTCL_LENGTH = 7;
constexpr int SERIAL_LENGTH = 10;
constexpr int MARKER_LENGTH = 2;  // cr, pf
constexpr int SEQUENCE_LENGTH = 3;
constexpr int NUMBER_LENGTH = 10;  // ilen, pid
constexpr int TEXT_LENGTH = 1023;

// A filter text that is set and differs, without case, from the value.
bool rejects(const char* filter, const char* value) {
  return filter[0] != '\0' && strcasecmp(filter, value) != 0;
}

// A call filter that is set and matches neither end of the frame.
bool rejects_both(const char* filter, const char* destination, const char* source) {
  return rejects(filter, destination) && rejects(filter, source);
}

}  // namespace

bool passes_call_filters(const char* source, const char* destination) {
  return !rejects(settings.from_call, source) && !rejects(settings.to_call, destination) &&
         !rejects_both(settings.call_a, destination, source) &&
         !rejects_both(settings.call_b, destination, source);
}

void print_header_line_tail(const char* is_rf, const char* dirn) {
  if (is_rf[0] != '\0') out_print("%s", is_rf[0] == 't' ? " (RF)" : " (Non-RF)");
  if (dirn[0] != '\0') out_print(" %s", dirn);
  out_print(":\n  ");
}

char direction_letter(const char* dirn) {
  if (dirn[0] == '\0') return ' ';
  return static_cast<char>(std::toupper(static_cast<unsigned char>(dirn[0])));
}

void trace_l2(const char* report) {
  if (!trace_flag(TF_L2)) return;
  const bool classic = trace_flag(TF_CLASSIC);

  char report_from[CALL_LENGTH + 1];
  char port[PORT_LENGTH + 1];
  char srce[CALL_LENGTH + 1];
  char dest[CALL_LENGTH + 1];
  char l2_type[L2_TYPE_LENGTH + 1];
  if (!get_field(report, "reportFrom", report_from, CALL_LENGTH) ||
      !get_field(report, "port", port, PORT_LENGTH) ||
      !get_field(report, "srce", srce, CALL_LENGTH) ||
      !get_field(report, "dest", dest, CALL_LENGTH) ||
      !get_field(report, "l2Type", l2_type, L2_TYPE_LENGTH)) {
    if (trace_flag(TF_WARNINGS)) con_print("%s", MANDATORY_FIELD_MISSING);
    return;
  }

  char dirn[FLAG_LENGTH + 1] = "";
  char is_rf[FLAG_LENGTH + 1] = "";
  char ptcl[PTCL_LENGTH + 1] = "";
  get_field(report, "dirn", dirn, FLAG_LENGTH);
  get_field(report, "isRF", is_rf, FLAG_LENGTH);
  get_field(report, "ptcl", ptcl, PTCL_LENGTH);

  // The UI switch compares with case: a lower-case "ui" is shown regardless.
  if (std::string_view(l2_type) == "UI" && !trace_flag(TF_UI)) return;
  if (settings.port_filter != 0 && read_int(port) != settings.port_filter) return;
  if (rejects(settings.frame_type_filter, l2_type)) return;
  if (!passes_call_filters(srce, dest)) return;
  if (settings.protocol_filter[0] != '\0' &&
      (ptcl[0] == '\0' || strcasecmp(settings.protocol_filter, ptcl) != 0))
    return;

  if (trace_flag(TF_COLOUR)) set_trace_colour(dirn, is_rf);
  print_preamble_text(report, classic);

  char value[TEXT_LENGTH + 1];
  if (trace_flag(TF_SERIAL) && get_field(report, "serial", value, SERIAL_LENGTH))
    out_print("[%s] ", value);
  if (trace_flag(TF_HEADER_LINE) || classic) {
    if (trace_flag(TF_REPORTER)) out_print("%s ", report_from);
    out_print("port %s", port);
    print_header_line_tail(is_rf, dirn);
  } else {
    if (trace_flag(TF_REPORTER)) out_print("%s", report_from);
    char port_and_direction[PORT_LENGTH + 4];
    std::snprintf(port_and_direction, sizeof port_and_direction, "(%s)%c", port,
                  direction_letter(dirn));
    out_print("%s ", port_and_direction);
  }

  out_print("%s>%s <%s", srce, dest, l2_type);
  if (get_field(report, "cr", value, MARKER_LENGTH)) out_print(" %s", value);
  if (get_field(report, "pf", value, MARKER_LENGTH)) out_print(" %s", value);
  if (get_field(report, "rseq", value, SEQUENCE_LENGTH)) out_print(" R%s", value);
  if (get_field(report, "tseq", value, SEQUENCE_LENGTH)) out_print(" S%s", value);
  out_print(">");
  if (get_field(report, "ilen", value, NUMBER_LENGTH)) out_print(" ilen=%s", value);
  if (get_field(report, "pid", value, NUMBER_LENGTH)) out_print(" pid=%s", value);
  if (ptcl[0] != '\0') out_print(" %s", ptcl);

  const std::string_view protocol = ptcl;
  if (protocol == "NET/ROM") {
    decode_l3(report);
  } else if (protocol == "DATA") {
    if (get_field(report, "text", value, TEXT_LENGTH)) out_print(":%s%s", CONTINUATION, value);
  } else if (protocol == "IP") {
    decode_ip(report);
  } else if (protocol == "ARP") {
    decode_arp(report);
  }
  out_print("\n");
}
