#!/bin/sh
# The Windows client: cross-built with MinGW-w64 (the windows preset), its
# tests run under Wine, and its zip made. The golden driver, emulator and
# end-to-end tests of the dev build drive the client, so the dev build comes
# first (tools/test.sh builds it). Prints how long it took.
set -eu
cd "$(dirname "$0")/.."

tools/install-missing.sh cmake make g++ libgtest-dev libgmock-dev \
  g++-mingw-w64-x86-64-posix wine wine64 googletest groff-base
start=$(date +%s)
cmake --preset dev >/dev/null
cmake --build --preset dev
cmake --preset windows
# The build tree's Wine prefix, made once before test discovery needs it.
WINEPREFIX="$PWD/build/windows/wine-prefix" WINEDEBUG=-all wineboot -i
cmake --build --preset windows
# One Wine server for the whole run: when it stops and starts again between
# test processes, a process now and then fails to start at all (it ends in
# milliseconds with no output). What fails still fails when run again, so a
# second run of only the failed tests tells those apart from real faults.
export WINEPREFIX="$PWD/build/windows/wine-prefix" WINEDEBUG=-all
# wineboot leaves its own server running for a few seconds; wait for it to
# go, so that the persistent one can start.
wineserver -w
wineserver -p
# The first process after the server starts has hung past a test's time
# limit now and then: one outside the tests starts it.
timeout 120 wine build/windows/tests/pellarin_unit_tests.exe --gtest_list_tests >/dev/null 2>&1 || true
ctest --preset windows || ctest --preset windows --rerun-failed
wineserver -k || true
(cd build/windows && cpack)
echo "Windows build, tests under Wine and zip: $(($(date +%s) - start)) s"
