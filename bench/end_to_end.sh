#!/bin/sh
# End-to-end figures of the real client over loopback, one NET/ROM INFO
# report per datagram, one line per figure: loss at sustained rates with a
# capture file, rate at full speed against a bare receive loop, latency from
# send to trace in the capture file, idle CPU and wake-ups, peak resident
# memory, the same with the heard tables kept (--heard) and with all of them
# full, and jq on the same reports for comparison. Not a test: the
# figures depend on the machine and its load (printed first).
# Usage: bench/end_to_end.sh [client-binary]
#   default client: build/bench/pellarin (the bench preset, built here)
set -eu
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
client=${1:-build/bench/pellarin}
driver=build/bench/bench/loopback_driver
report_bench=$(dirname "$client")/bench/report_bench
# Loopback addresses of this script alone; the node side binds port 7373.
net=127.15.20
marker="Good evening all"

# With two processors or more, the receiver (client or bare loop) and the
# sender each get one of their own, so that the figures do not depend on
# whether the scheduler happens to put both on the same one.
receiver_cpu=""
sender_cpu=""
if [ "$(nproc)" -ge 2 ] && command -v taskset >/dev/null; then
  receiver_cpu="taskset -c 1"
  sender_cpu="taskset -c 0"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellarin-e2e-XXXXXX")
client_pid=""
cleanup() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# start_client ADDRESS [more options]
start_client() {
  address=$1
  shift
  rm -f "$work/capture"
  $receiver_cpu "$client" 0 "$address" -q -c -o "$work/capture" "$@" >"$work/console" 2>&1 &
  client_pid=$!
}
stop_client() {
  kill "$client_pid"
  wait "$client_pid" 2>/dev/null || true
  client_pid=""
}
traces() { grep -c "$marker" "$work/capture" || true; }
field() { awk -v k="$1" '{ for (i = 1; i < NF; ++i) if ($i == k) print $(i + 1) }' "$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "load: $(uptime | sed 's/.*load/load/')"
echo "client: $client"

host=1
for rate in 10000 50000 100000 200000; do
  count=$((rate * 3))
  start_client "$net.$host"
  $sender_cpu "$driver" serve "$net.$host" "$count" "$rate" "$work/capture" >"$work/serve"
  stop_client
  echo "lost at $rate reports/s for 3 s: $((count - $(traces))) of $count"
  host=$((host + 1))
done

# full_speed_rate [client options]: one run at full speed; sets `rate` to
# the reports formatted per second until the sender's last datagram was
# drained.
full_speed_rate() {
  start_client "$net.$host" "$@"
  $sender_cpu "$driver" serve "$net.$host" "$count" 0 "$work/capture" >"$work/serve"
  stop_client
  host=$((host + 1))
  rate=$(awk -v n="$(traces)" -v s="$(field drained_seconds "$work/serve")" 'BEGIN { printf "%.0f", n / s }')
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The rates with and without the tables, taken by turns five times each, so
# that a slow spell of the machine weighs on both alike; medians.
count=300000
without=""
with=""
for _ in 1 2 3 4 5; do
  full_speed_rate
  without="$without $rate"
  full_speed_rate --heard
  with="$with $rate"
done
# shellcheck disable=SC2086
client_rate=$(median $without)
# shellcheck disable=SC2086
heard_rate=$(median $with)
echo "full speed: $client_rate reports/s formatted (median of 5 runs of $count sent as fast as possible:$without)"
echo "full speed with --heard: $heard_rate reports/s formatted (median of 5:$with); $(ratio "$heard_rate" "$client_rate") of the rate without"

$receiver_cpu "$driver" bare "$net.$host" >"$work/bare" &
bare_pid=$!
sleep 0.5
$sender_cpu "$driver" serve "$net.$host" "$count" 0 >/dev/null
wait "$bare_pid"
bare_rate=$(awk -v n="$(field received "$work/bare")" -v s="$(field seconds "$work/bare")" 'BEGIN { printf "%.0f", n / s }')
echo "bare receive loop: $bare_rate reports/s; client at $(ratio "$client_rate" "$bare_rate") of it"
host=$((host + 1))

start_client "$net.$host"
sleep 0.2
echo "latency send to capture file over 300 reports: $("$driver" latency "$net.$host" "$work/capture" 300)"
stop_client
host=$((host + 1))

# Idle: no node at this address; run time and context switches from /proc.
start_client "$net.$host"
sleep 3
run_ns() { awk '{ print $1 }' "/proc/$client_pid/schedstat"; }
switches() { awk '/ctxt_switches/ { n += $2 } END { print n }' "/proc/$client_pid/status"; }
ns0=$(run_ns)
sw0=$(switches)
sleep 30
ns1=$(run_ns)
sw1=$(switches)
stop_client
echo "idle over 30 s: CPU $(awk -v d=$((ns1 - ns0)) 'BEGIN { printf "%.4f", d / 30e9 * 100 }') %, $(awk -v d=$((sw1 - sw0)) 'BEGIN { printf "%.2f", d / 30 }') wake-ups/s"
host=$((host + 1))

start_client "$net.$host"
"$driver" memory "$net.$host" "$client_pid" >"$work/memory"
stop_client
echo "peak resident memory: $(field peak_rss_kib_after_1000 "$work/memory") KiB after 1,000 reports, $(field peak_rss_kib_after_1000000 "$work/memory") KiB after 1,000,000"

# Every heard table full, and three times over so that eviction runs: as
# many stations and links as I frames from distinct calls, and routes from
# NODES broadcasts of 20 destinations each. Read from a file with --read,
# peak resident memory as the system counts it (GNU time's %M).
if [ -x /usr/bin/time ]; then
  awk 'BEGIN {
    for (i = 0; i < 12288; ++i)
      printf "d {\"@type\":\"L2Trace\",\"time\":%d,\"port\":\"1\",\"dirn\":\"rcvd\",\"srce\":\"G%dABC\",\"dest\":\"N0DE\",\"l2Type\":\"I\",\"tseq\":%d,\"ilen\":40,\"ptcl\":\"DATA\"}\n", 1765000000 + i, i, i % 8
    for (b = 0; b < 615; ++b) {
      printf "d {\"@type\":\"L2Trace\",\"time\":%d,\"port\":\"1\",\"dirn\":\"rcvd\",\"srce\":\"M%dPQR\",\"dest\":\"NODES\",\"l2Type\":\"UI\",\"ptcl\":\"NET/ROM\",\"l3Type\":\"Routing info\",\"type\":\"NODES\",\"fromAlias\":\"PQR\",\"nodes\":[", 1765020000 + b, b
      for (e = 0; e < 20; ++e)
        printf "%s{\"call\":\"N%dXYZ\",\"alias\":\"XYZ\",\"via\":\"M%dPQR\",\"qual\":%d}", e ? "," : "", b * 20 + e, b, 100 + e
      printf "]}\n"
    }
  }' >"$work/full.dgrams"
  full_kib=$(/usr/bin/time -f %M "$client" --read "$work/full.dgrams" --heard-only 2>&1 >/dev/null)
  plain_kib=$(/usr/bin/time -f %M "$client" --read "$work/full.dgrams" -q -o /dev/null 2>&1 >/dev/null)
  echo "peak resident memory with every heard table full (--read, 3x the capacities): $full_kib KiB; $plain_kib KiB without the tables"
fi

# What a user would pick instead: jq over the same reports, one per line.
reports=100000
"$driver" corpus "$reports" >"$work/corpus"
seconds_of() {
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
jq_c=$(awk -v n="$reports" -v s="$(seconds_of jq -c . "$work/corpus")" 'BEGIN { printf "%.0f", n / s }')
jq_summary=$(awk -v n="$reports" -v s="$(seconds_of jq -r '"\(.time) \(.reportFrom) \(.srce)>\(.dest) \(.l2Type) \(.ptcl) \(.l4type) \(.text)"' "$work/corpus")" 'BEGIN { printf "%.0f", n / s }')
"$report_bench" --benchmark_filter='^Report/NetromInfo/capture$' --benchmark_format=json \
  >"$work/bench.json" 2>/dev/null
in_process=$(awk -F: '/"items_per_second"/ { gsub(/[ ,]/, "", $2); printf "%.0f", $2 }' "$work/bench.json")
echo "jq -c .: $jq_c reports/s; one-line jq summary: $jq_summary reports/s"
echo "in-process NET/ROM INFO with capture file: $in_process reports/s ($(ratio "$in_process" "$jq_c") x jq -c ., $(ratio "$in_process" "$jq_summary") x the summary)"
echo "end to end at full speed: $(ratio "$client_rate" "$jq_c") x jq -c ."
