#!/bin/sh
# Builds the fuzz preset and runs every libFuzzer target for a bounded time
# over a copy of its kept corpus; fails when any target finds a crash.
# Usage: fuzz/run.sh [seconds] [--merge] [extra libFuzzer options...]
#   A target NAME_fuzzer starts from fuzz/corpus-NAME/ when that folder
#   exists, otherwise from fuzz/corpus/ (heard_file_fuzzer from
#   fuzz/corpus-heard_file/, heard files); datagram_file_fuzzer starts from
#   the golden cases' datagram files.
#   PELLARIN_FUZZ_TARGET=NAME_fuzzer runs that target only.
#   --merge: afterwards fold what the run added into the kept corpus with
#   -merge=1 (only inputs that reach new coverage are kept); review with
#   git status before committing.
# A crashing input lands in build/fuzz/findings/; once mended, keep it under
# tests/intake/fuzz_regressions/ so the unit tests replay it for ever.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
merge=no
if [ "${1:-}" = "--merge" ]; then
  merge=yes
  shift
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
mkdir -p build/fuzz/findings
status=0
for fuzzer in build/fuzz/fuzz/${PELLARIN_FUZZ_TARGET:-*_fuzzer}; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer" _fuzzer)
  kept=fuzz/corpus-$name
  [ -d "$kept" ] || kept=fuzz/corpus
  # Work on a copy so that the kept seeds stay a small, reviewed set.
  work=build/fuzz/corpus-$name
  rm -rf "$work"
  mkdir -p "$work"
  if [ "$name" = datagram_file ]; then
    kept=tests/golden/cases
    for case_dir in tests/golden/cases/*/; do
      cp "$case_dir/input.dgrams" "$work/$(basename "$case_dir").dgrams"
    done
  else
    find "$kept" -maxdepth 1 -type f -exec cp {} "$work"/ \;
  fi
  echo "== $name: $seconds s from $kept"
  TZ=UTC "$fuzzer" "$work" -max_total_time="$seconds" -max_len=6000 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/"$name"- "$@" || status=1
  if [ "$merge" = yes ] && [ "$name" != datagram_file ]; then
    TZ=UTC "$fuzzer" -merge=1 -max_len=6000 "$kept" "$work" || status=1
  fi
done
exit $status
