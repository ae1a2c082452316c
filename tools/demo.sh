#!/bin/sh
# The demo: builds the client and the node emulator, lets the emulator play a
# small packet network on a loopback address, and runs the client against it
# in the foreground, coloured. Ctrl-C ends both.
#
# Extra arguments go to the client, e.g. tools/demo.sh -a G4ABC-7 -H
# PELLARIN_DEMO_ADDRESS sets the emulator's address (default 127.0.73.73);
# PELLARIN_BIN_DIR names a build directory to use instead of building;
# PELLARIN_LAUNCHER runs its programs through an emulator, for a build for
# another machine (e.g. "qemu-arm -L /usr/arm-linux-gnueabihf").
set -eu
cd "$(dirname "$0")/.."

address=${PELLARIN_DEMO_ADDRESS:-127.0.73.73}
bin_dir=${PELLARIN_BIN_DIR:-}
launcher=${PELLARIN_LAUNCHER:-}

if [ -z "$bin_dir" ]; then
  tools/install-missing.sh cmake make g++ zlib1g-dev
  cmake --preset demo >/dev/null
  cmake --build --preset demo --target pellarin pellarin-sim
  bin_dir=build/demo
fi

# shellcheck disable=SC2086 # the launcher is a command and its arguments
$launcher "$bin_dir/tools/pellarin-sim" generate --bind "$address" --rate 3 2>/dev/null &
sim=$!
# The emulator runs in the background, where a non-interactive shell makes
# it ignore Ctrl-C: end it here, however the client ends.
trap 'code=$?; set +e; kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; exit "$code"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

status=0
# shellcheck disable=SC2086
$launcher "$bin_dir/pellarin" 0 "$address" -k -m -d "$@" || status=$?
exit "$status"
