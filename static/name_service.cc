// Host-name lookups of the statically linked programs: the C library's own
// /etc/hosts and DNS readers only, whatever the target's nsswitch.conf names.
#include <nss.h>

namespace {

// A statically linked C library loads every other module that nsswitch.conf
// names (mdns4_minimal, myhostname, ...) from the target as a shared library
// built against the target's own C library, not the one linked in: unusable
// where the target's libraries are hard-float (armhf), a crash waiting to
// happen where they would load. The built-in "files" and "dns" need nothing
// of the target. Set before main(), ahead of every lookup; should it fail (no
// memory), the system's list stays in force and a lookup still reports its
// own failure.
[[maybe_unused]] const int HOSTS_LOOKUP_STATUS = __nss_configure_lookup("hosts", "files dns");

}  // namespace
