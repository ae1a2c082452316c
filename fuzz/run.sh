#!/bin/sh
# Builds the fuzz preset and runs the datagram fuzzer for a bounded time.
# Usage: fuzz/run.sh [seconds] [extra libFuzzer options...]
# PELLARIN_FUZZ_TARGET=datagram_file_fuzzer fuzzes the datagram-file reader
# instead, seeded with the golden cases' files.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
target=${PELLARIN_FUZZ_TARGET:-split_datagram_fuzzer}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "$target"
# Work on a copy so that the committed seeds stay a small, reviewed set.
work=build/fuzz/corpus-$target
mkdir -p "$work" build/fuzz/findings
if [ "$target" = datagram_file_fuzzer ]; then
  for case_dir in tests/golden/cases/*/; do
    cp "$case_dir/input.dgrams" "$work/$(basename "$case_dir").dgrams"
  done
else
  cp fuzz/corpus/* "$work"/
fi
TZ=UTC "build/fuzz/fuzz/$target" "$work" \
  -max_total_time="$seconds" -max_len=6000 -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/ "$@"
