#!/bin/sh
# Installs, with apt-get, whichever of the named Debian packages are missing.
# Usage: tools/install-missing.sh PACKAGE...
set -eu
missing=""
for package in "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
[ -n "$missing" ] || exit 0
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
$sudo_cmd apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends $missing
