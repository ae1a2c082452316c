// Link, circuit and node up, down and status reports.
#pragma once

#include "intake/report_kind.h"
#include "output/channels.h"

// Colour (chosen by the direction), raw echo, blank line and time stamp
// before a link or circuit report; all but the colour gathered in `text`.
void status_preamble(const char* report, bool outgoing, TraceText& text);

void link_report(const char* report, ReportKind kind);
void circuit_report(const char* report, ReportKind kind);
void node_report(const char* report, ReportKind kind);
