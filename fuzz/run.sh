#!/bin/sh
# Builds the fuzz preset and runs the datagram fuzzer for a bounded time.
# Usage: fuzz/run.sh [seconds] [extra libFuzzer options...]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target split_datagram_fuzzer
# Work on a copy so that the committed seeds stay a small, reviewed set.
work=build/fuzz/corpus
mkdir -p "$work" build/fuzz/findings
cp fuzz/corpus/* "$work"/
TZ=UTC build/fuzz/fuzz/split_datagram_fuzzer "$work" \
  -max_total_time="$seconds" -max_len=6000 -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/ "$@"
