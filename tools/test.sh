#!/bin/sh
# The test command: installs whatever a fresh Debian 12 machine lacks for
# the tests, then configures, builds and runs every test in the developer
# build (dev) and the sanitizer build (asan).
set -eu
cd "$(dirname "$0")/.."

tools/install-missing.sh cmake make g++ libgtest-dev libgmock-dev python3 direwolf iproute2 \
  zlib1g-dev tshark

cmake --workflow --preset dev
cmake --workflow --preset asan
