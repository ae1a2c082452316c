// The report dispatcher and its table of report types.
#include "intake/dispatch.h"

#include <array>
#include <string_view>

#include "app/settings.h"
#include "heard/heard.h"
#include "intake/field.h"
#include "intake/report_kind.h"
#include "output/channels.h"
#include "reports/status_reports.h"
#include "trace/l2_trace.h"
#include "trace/l3_trace.h"

namespace {

constexpr int TYPE_LENGTH = 80;

struct ReportType {
  std::string_view type;  // compared exactly, with case
  void (*format)(const char* report, ReportKind kind);
  ReportKind kind;
};

// Frame traces have no kind; they take the same shape here to share a table.
constexpr auto TRACE_L2 = [](const char* report, ReportKind) { trace_l2(report); };
constexpr auto TRACE_L3 = [](const char* report, ReportKind) { trace_l3(report); };

constexpr std::array<ReportType, 11> REPORT_TYPES = {{
    {"LinkStatus", link_report, STATUS},
    {"LinkUpEvent", link_report, UP},
    {"LinkDownEvent", link_report, DOWN},
    {"CircuitStatus", circuit_report, STATUS},
    {"CircuitUpEvent", circuit_report, UP},
    {"CircuitDownEvent", circuit_report, DOWN},
    {"NodeStatus", node_report, STATUS},
    {"NodeUpEvent", node_report, UP},
    {"NodeDownEvent", node_report, DOWN},
    {"L3Trace", TRACE_L3, STATUS},
    {"L2Trace", TRACE_L2, STATUS},
}};

}  // namespace

void dispatch_report(const char* report) {
  Field<TYPE_LENGTH> type;
  if (!type.read(report, "@type")) {
    if (trace_flag(TF_WARNINGS)) con_print("[missing '@type']\n");
    return;
  }
  // The heard tables see every report, with the type already read; under
  // --heard-only they alone do.
  if (heard_kept()) {
    heard_observe(report, type.text());
    if (settings.heard_only) return;
  }
  for (const ReportType& entry : REPORT_TYPES) {
    if (entry.type == type.text()) {
      entry.format(report, entry.kind);
      return;
    }
  }
}
