// Link, circuit and node up, down and status reports.
#pragma once

#include "intake/report_kind.h"

void link_report(const char* report, ReportKind kind);
void circuit_report(const char* report, ReportKind kind);
void node_report(const char* report, ReportKind kind);
