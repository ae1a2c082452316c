// The build-time check of formats kept in tables: which formats take which
// arguments. A wrong answer here fails the build.
#include "output/channels.h"

namespace {

static_assert(format_takes("", ""));
static_assert(format_takes("plain text", ""));
static_assert(format_takes(" w=%s", "s"));
static_assert(format_takes("%sRoute: %s", "ss"));
static_assert(format_takes("%s%-9s", "ss"));
static_assert(format_takes(" %02d/%02d %02d:%02d", "dddd"));
static_assert(format_takes("100%% %s", "s"));
static_assert(format_takes("%i", "d"));

static_assert(!format_takes(" w=%s", ""));
static_assert(!format_takes(" w=%s/%s", "s"));
static_assert(!format_takes(" w=", "s"));
static_assert(!format_takes("%d", "s"));
static_assert(!format_takes("%s%d", "ss"));
static_assert(!format_takes("%ld", "d"));  // length modifiers are not taken
static_assert(!format_takes("%n", ""));
static_assert(!format_takes("trailing %", ""));

}  // namespace
