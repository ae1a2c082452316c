#!/bin/sh
# Runs clang-tidy (Debian's clang-tidy 14, checks from .clang-tidy, every
# warning an error) over the client's and the emulator's sources, with the
# compile commands of the dev build. The tests are left out: GoogleTest's
# macros expand to code that these checks flag in every test (static
# registration objects, magic numbers in generated names), which would bury
# anything found in our own code.
# Usage: tools/clang-tidy.sh [jobs]   (default 2)
set -eu
cd "$(dirname "$0")/.."
jobs=${1:-2}

tools/install-missing.sh clang-tidy-14 cmake make g++ libgtest-dev libgmock-dev
cmake --preset dev >/dev/null
# The compile commands are written at configure time; nothing needs building.
sources="^$(pwd)/(app|intake|output|trace|reports|heard|tools)/"
# GCC-only options of the build (-Wno-restrict) mean nothing to clang.
run-clang-tidy-14 -quiet -j "$jobs" -p build/dev -extra-arg=-Wno-unknown-warning-option -header-filter "$sources" "$sources" \
  >build/clang-tidy.log 2>&1 || status=$?
if [ "${status:-0}" -ne 0 ] || grep -q -e 'warning:' -e 'error:' build/clang-tidy.log; then
  grep -A3 -e 'warning:' -e 'error:' build/clang-tidy.log
  echo "clang-tidy found problems (whole log in build/clang-tidy.log)" >&2
  exit 1
fi
echo "clang-tidy: no findings"
