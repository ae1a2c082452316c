#!/bin/sh
# Soak test: the release client against `pellarin-sim generate` for a number
# of minutes at a given rate, sampling the client's resident memory, CPU
# time and open files each minute; fails when memory grows after the first
# minute, when files leak, or when the client dies.
# Usage: tools/soak.sh [minutes [reports-per-second [address]]]
#   defaults: 10 minutes, 200 reports/s, 127.15.7.1 (any loopback address)
set -eu
cd "$(dirname "$0")/.."
minutes=${1:-10}
rate=${2:-200}
address=${3:-127.15.7.1}
# Resident memory may settle by a page or two after the first minute.
rss_slack_kib=64

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target pellarin pellarin-sim >/dev/null
client_bin=build/release/pellarin
sim_bin=build/release/tools/pellarin-sim

work=$(mktemp -d "${TMPDIR:-/tmp}/pellarin-soak-XXXXXX")
sim_pid=""
client_pid=""
finish() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT INT TERM

"$sim_bin" generate --rate "$rate" --bind "$address" 2>"$work/sim.err" &
sim_pid=$!
"$client_bin" 0 "$address" -q -c -k -m -d -W -o "$work/capture.log" >"$work/console" 2>&1 &
client_pid=$!

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$client_pid/status"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$client_pid/stat"; }
open_files() { ls "/proc/$client_pid/fd" | wc -l; }
ticks_per_second=$(getconf CLK_TCK)

echo "soak: $minutes min at $rate reports/s from $address (client pid $client_pid)"
echo "minute  rss_kib  cpu_%  open_files  capture_bytes"
first_rss=""
first_files=""
last_ticks=$(cpu_ticks)
failed=0
minute=1
while [ "$minute" -le "$minutes" ]; do
  sleep 60
  if ! kill -0 "$client_pid" 2>/dev/null; then
    echo "FAIL: the client ended during minute $minute"
    cat "$work/console"
    exit 1
  fi
  rss=$(rss_kib)
  ticks=$(cpu_ticks)
  files=$(open_files)
  cpu=$(awk -v t=$((ticks - last_ticks)) -v hz="$ticks_per_second" 'BEGIN { printf "%.2f", t * 100 / (60 * hz) }')
  printf '%6d  %7d  %5s  %10d  %13d\n' "$minute" "$rss" "$cpu" "$files" \
    "$(stat -c %s "$work/capture.log")"
  last_ticks=$ticks
  if [ -z "$first_rss" ]; then
    first_rss=$rss
    first_files=$files
  else
    if [ "$rss" -gt $((first_rss + rss_slack_kib)) ]; then
      echo "FAIL: resident memory grew from $first_rss KiB to $rss KiB"
      failed=1
    fi
    if [ "$files" -ne "$first_files" ]; then
      echo "FAIL: open files went from $first_files to $files"
      failed=1
    fi
  fi
  minute=$((minute + 1))
done
kill "$client_pid"
wait "$client_pid" 2>/dev/null || true
client_pid=""
# What the client said besides its banner: drops, capture file trouble.
grep -E 'dropped|capture file' "$work/console" || true
[ "$failed" -eq 0 ] && echo "soak: passed"
exit "$failed"
