// The three kinds of a status report and their labels.
#pragma once

#include <array>
#include <string_view>

enum ReportKind { DOWN = 0, UP = 1, STATUS = 2 };

inline constexpr std::array<std::string_view, 3> REPORT_KIND_LABELS = {"DOWN", "UP", "STATUS"};

// Labels are printed with "%s", so they end in a terminator.
inline const char* report_kind_label(ReportKind kind) { return REPORT_KIND_LABELS[kind].data(); }
