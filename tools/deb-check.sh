#!/bin/sh
# Checks a Debian package of Pellarin: that it is for the architecture named,
# holds the three programs, their compressed man pages, the copyright file
# and changelog, and that lintian finds no error and no warning in it.
# Usage: tools/deb-check.sh ARCHITECTURE PACKAGE.deb
set -eu
cd "$(dirname "$0")/.."
[ $# -eq 2 ] || { echo "usage: $0 ARCHITECTURE PACKAGE.deb" >&2; exit 2; }
architecture=$1
package=$2

tools/install-missing.sh lintian

fail() {
  echo "$package: $*" >&2
  exit 1
}
[ "$(dpkg-deb -f "$package" Architecture)" = "$architecture" ] || fail "not for $architecture"
contents=$(dpkg -c "$package")
for file in bin/pellarin bin/pellarin-sim bin/pellarin-kiss \
  share/man/man1/pellarin.1.gz share/man/man1/pellarin-sim.1.gz \
  share/man/man1/pellarin-kiss.1.gz share/doc/pellarin/copyright \
  share/doc/pellarin/changelog.gz; do
  echo "$contents" | grep -q " \./usr/$file\$" || fail "lacks /usr/$file"
done
# Every tag lintian shows (info and pedantic ones too) is printed for the
# record; an error or a warning fails the check.
lintian --fail-on error,warning --display-info "$package" || fail "lintian found faults (above)"
echo "$package: $architecture, $(wc -c < "$package") bytes, lintian clean"
