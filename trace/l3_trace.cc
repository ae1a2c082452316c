// The L3 trace line: a NET/ROM packet that the node reports without its
// AX.25 frame, with the header forms of the L2 trace line.
#include "trace/l3_trace.h"

#include <cstdio>
#include <string_view>

#include "app/settings.h"
#include "intake/field_lookup.h"
#include "intake/numbers.h"
#include "output/channels.h"
#include "output/preamble.h"
#include "trace/l2_trace.h"
#include "trace/netrom.h"

namespace {

constexpr int CALL_LENGTH = 15;
constexpr int PORT_LENGTH = 7;
constexpr int TTL_LENGTH = 7;
constexpr int FLAG_LENGTH = 4;  // dirn, isRF
constexpr int SERIAL_LENGTH = 10;
constexpr int NUMBER_LENGTH = 10;  // ilen

// The only network protocol that the node reports at layer 3.
constexpr std::string_view NETROM = "NetRom";

}  // namespace

void trace_l3(const char* report) {
  char report_from[CALL_LENGTH + 1];
  char l3_type[CALL_LENGTH + 1];
  if (!get_field(report, "reportFrom", report_from, CALL_LENGTH) ||
      !get_field(report, "l3Type", l3_type, CALL_LENGTH)) {
    if (trace_flag(TF_WARNINGS)) con_print("%s", MANDATORY_FIELD_MISSING);
    return;
  }
  char port[PORT_LENGTH + 1];
  // A report without a port passes the port filter here; the port is
  // required further on.
  if (settings.port_filter != 0 && get_field(report, "port", port, PORT_LENGTH) &&
      read_int(port) != settings.port_filter)
    return;
  if (l3_type != NETROM) return;

  if (!trace_flag(TF_L3)) return;
  char l3src[CALL_LENGTH + 1];
  char l3dst[CALL_LENGTH + 1];
  char ttl[TTL_LENGTH + 1];
  if (!get_field(report, "port", port, PORT_LENGTH) ||
      !get_field(report, "l3src", l3src, CALL_LENGTH) ||
      !get_field(report, "l3dst", l3dst, CALL_LENGTH) ||
      !get_field(report, "ttl", ttl, TTL_LENGTH)) {
    if (trace_flag(TF_WARNINGS)) con_print("%s", MANDATORY_FIELD_MISSING);
    return;
  }
  char dirn[FLAG_LENGTH + 1] = "";
  char is_rf[FLAG_LENGTH + 1] = "";
  get_field(report, "dirn", dirn, FLAG_LENGTH);
  get_field(report, "isRF", is_rf, FLAG_LENGTH);

  // An L3 trace has no frame type, so a frame-type filter hides them all.
  if (settings.frame_type_filter[0] != '\0') return;
  if (!passes_call_filters(l3src, l3dst)) return;

  if (trace_flag(TF_COLOUR)) set_trace_colour(dirn, is_rf);
  print_preamble_text(report);

  char value[NUMBER_LENGTH + 1];
  if (get_field(report, "serial", value, SERIAL_LENGTH)) out_print("[%s] ", value);
  if (trace_flag(TF_HEADER_LINE)) {
    out_print("%s port %s", report_from, port);
    print_header_line_tail(is_rf, dirn);
  } else {
    char header[CALL_LENGTH + PORT_LENGTH + 4];
    std::snprintf(header, sizeof header, "%s(%s)%c", report_from, port, direction_letter(dirn));
    out_print("%s ", header);
  }
  out_print("<NO_L2>");
  if (get_field(report, "ilen", value, NUMBER_LENGTH)) out_print(" ilen=%s", value);
  out_print(" NET/ROM");
  decode_netrom(report);
  out_print("\n");
}
