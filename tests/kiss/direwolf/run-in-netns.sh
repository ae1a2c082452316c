#!/bin/sh
# Dire Wolf end to end, run inside a loopback-only network namespace
# (unshare -n): UI frames become 1200 baud AFSK audio (gen_packets), a
# receiving Dire Wolf decodes them and serves KISS TCP, pellarin-kiss reads
# that and serves trace reports, and pellarin writes its capture file.
# Usage: run-in-netns.sh PELLARIN_KISS PELLARIN FRAMES WORKDIR COUNT
# COUNT is the number of traces to wait for; everything is stopped after
# them or after 30 seconds.
set -u
kiss_bin=$1 pellarin_bin=$2 frames=$3 work=$4 count=$5
address=127.16.200.1

ip link set lo up || exit 3
gen_packets -r 44100 -o "$work/ui.wav" "$frames" > "$work/gen.log" 2>&1 || exit 4
cat > "$work/rx.conf" <<CONF
ADEVICE stdin null
ARATE 44100
MODEM 1200
AGWPORT 0
KISSPORT 8001
CONF
mkfifo "$work/audio" || exit 5
direwolf -c "$work/rx.conf" -t 0 < "$work/audio" > "$work/direwolf.log" 2>&1 &
modem=$!
# Held open so that the modem waits for the audio instead of seeing its end.
exec 3> "$work/audio"
"$kiss_bin" --kiss-tcp "$address:8001" --bind "$address" --call N0DE -v \
  > /dev/null 2> "$work/kiss.err" &
bridge=$!
"$pellarin_bin" 0 "$address" -c -s -W -q -O "$work/capture.txt" \
  > /dev/null 2> "$work/client.err" &
client=$!

wait_for() {  # FILE PATTERN TENTHS
  i=0
  while [ "$i" -lt "$3" ]; do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}
status=0
wait_for "$work/kiss.err" "connected to" 100 || status=6
wait_for "$work/kiss.err" "subscribed" 100 || status=7
cat "$work/ui.wav" >&3
i=0
while [ "$i" -lt 300 ]; do
  [ "$(grep -c '^(0)R ' "$work/capture.txt" 2>/dev/null)" -ge "$count" ] && break
  sleep 0.1
  i=$((i + 1))
done
sleep 0.3
exec 3>&-
kill "$client" "$bridge" "$modem" 2>/dev/null
wait
exit "$status"
