#!/bin/sh
# Dire Wolf end to end, run inside a loopback-only network namespace
# (unshare -n). Audio is made either from UI frames in monitor form
# (gen_packets) or from any frames at all: a transmitting Dire Wolf takes
# them as KISS on its TCP port and writes its audio to a file through ALSA's
# file plugin. A receiving Dire Wolf decodes the audio and serves KISS TCP,
# pellarin-kiss reads that and serves trace reports, and pellarin writes its
# capture file.
# Usage: run-in-netns.sh PELLARIN_KISS PELLARIN ui|kiss FRAMES WORKDIR COUNT
# COUNT is the number of traces to wait for; everything is stopped after
# them or after 60 seconds.
set -u
kiss_bin=$1 pellarin_bin=$2 mode=$3 frames=$4 work=$5 count=$6
address=127.16.200.1

ip link set lo up || exit 3

wait_for() {  # FILE PATTERN TENTHS
  i=0
  while [ "$i" -lt "$3" ]; do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

if [ "$mode" = ui ]; then
  gen_packets -r 44100 -o "$work/audio.raw" "$frames" > "$work/gen.log" 2>&1 || exit 4
else
  # The transmitter hears nothing (its input is a pipe left empty) and sends
  # into the file; TXDELAY and persistence as low as they go.
  cat > "$work/.asoundrc" <<CONF
pcm.to_file {
  type file
  slave.pcm "null"
  file "$work/audio.raw"
  format "raw"
}
CONF
  cat > "$work/tx.conf" <<CONF
ADEVICE stdin to_file
ARATE 44100
MODEM 1200
AGWPORT 0
KISSPORT 8002
TXDELAY 10
PERSIST 255
SLOTTIME 1
CONF
  mkfifo "$work/tx.in" || exit 5
  HOME="$work" direwolf -c "$work/tx.conf" -t 0 < "$work/tx.in" > "$work/tx.log" 2>&1 &
  transmitter=$!
  exec 4> "$work/tx.in"
  wait_for "$work/tx.log" "Ready to accept KISS" 100 || exit 6
  python3 -c "
import socket, sys, time
s = socket.create_connection(('127.0.0.1', 8002))
s.sendall(open(sys.argv[1], 'rb').read())
time.sleep(0.5)
" "$frames" || exit 7
  # Done when the file has stopped growing for a second.
  last=-1
  i=0
  while [ "$i" -lt 600 ]; do
    size=$(stat -c %s "$work/audio.raw" 2>/dev/null || echo 0)
    [ "$size" -gt 0 ] && [ "$size" = "$last" ] && break
    last=$size
    sleep 1
    i=$((i + 10))
  done
  exec 4>&-
  wait "$transmitter"
fi

cat > "$work/rx.conf" <<CONF
ADEVICE stdin null
ARATE 44100
MODEM 1200
AGWPORT 0
KISSPORT 8001
CONF
mkfifo "$work/rx.in" || exit 5
direwolf -c "$work/rx.conf" -t 0 < "$work/rx.in" > "$work/rx.log" 2>&1 &
receiver=$!
# Held open so that the modem waits for the audio instead of seeing its end.
exec 3> "$work/rx.in"
"$kiss_bin" --kiss-tcp "$address:8001" --bind "$address" --call N0DE -v \
  > /dev/null 2> "$work/kiss.err" &
bridge=$!
"$pellarin_bin" 0 "$address" -c -s -W -q -O "$work/capture.txt" \
  > /dev/null 2> "$work/client.err" &
client=$!

status=0
wait_for "$work/kiss.err" "connected to" 100 || status=8
wait_for "$work/kiss.err" "subscribed" 100 || status=9
cat "$work/audio.raw" >&3
i=0
while [ "$i" -lt 600 ]; do
  [ "$(grep -c '^([0-9]*)[RS] ' "$work/capture.txt" 2>/dev/null)" -ge "$count" ] && break
  sleep 0.1
  i=$((i + 1))
done
sleep 0.5
exec 3>&-
kill "$client" "$bridge" "$receiver" 2>/dev/null
wait
exit "$status"
