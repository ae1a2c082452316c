// Date lines (--dates): the UTC date before the first trace of each day, so
// that a capture file that runs for days tells one day from the next.
#pragma once

#include <cstdint>

#include "output/channels.h"

// Observes every trace that is shown with a time stamp, given the stamp's
// time (seconds since the epoch, UTC) before anything of the trace is
// gathered: under --dates, adds "--- YYYY-MM-DD (UTC) ---\n" (after a blank
// line unless -L) to the trace
// when its date is not the one last dated. A trace that a filter hides, or
// one without a stamp (-s), never gets here, and so never dates anything.
void date_trace(std::int64_t seconds, TraceText& text);

// Under --dates, when traces are stamped: the date line for `now`, the
// clock's time, after a live session's summary (so that a capture file is
// dated even while the node is quiet).
void print_start_date(std::int64_t now);

// Forgets the date last dated, so that the next stamped trace is dated
// again (between tests).
void forget_dates();
