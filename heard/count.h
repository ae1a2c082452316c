// The counting rules: what one report adds to the heard tables.
#pragma once

#include <cstdint>
#include <string_view>

#include "heard/tables.h"

// Counts one report (its text, which holds no NUL) of the given "@type"
// into `tables`. Reports for other ports than the one watched, and reports
// of other types, count for nothing.
void heard_count(HeardTables& tables, std::string_view report, std::string_view type);

// Whether an I frame with send sequence `ns` is one sent again on its side
// of the link, and the side's state after it (modulo `modulus`).
bool heard_is_resent(HeardSequence& sequence, int ns, int modulus);

// The link-health figure: REJ and resent I frames as a percentage of I
// frames; negative when no I frame was heard.
int heard_link_health(const HeardLink& link);
