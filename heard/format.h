// The heard tables as text: aligned columns, TSV, CSV or JSON.
#pragma once

#include <string_view>

#include "heard/tables.h"

// Where the text goes, in pieces of at most a few kilobytes.
using HeardSink = void (*)(std::string_view text);

// Writes the named tables (HEARD_ bits) of `tables` in the format and order
// that settings choose.
void heard_write(const HeardTables& tables, unsigned which, HeardSink sink);
