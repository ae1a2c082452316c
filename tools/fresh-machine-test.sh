#!/bin/sh
# README's Quick start on a truly fresh Debian 12: a minbase root made with
# debootstrap from the archive this machine uses, a clone of this
# repository's HEAD in it, and there, as root, the demo (until it has printed
# traces, then Ctrl-C) and the test command to the end. Catches what a
# developer machine has and a newcomer's lacks. Needs root; the root lives in
# a fresh folder under /tmp and is removed, its mounts undone, however the
# run ends. Prints what each step cost and how much disk the root took;
# the steps' whole output is kept in build/fresh-machine.log.
# PELLARIN_FRESH_MIRROR names another archive.
set -eu
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-machine-test.sh: needs root (debootstrap, chroot, mounts)" >&2
  exit 2
fi
tools/install-missing.sh debootstrap git

# The archive for bookworm in the machine's own sources, one-line or deb822.
host_mirror() {
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" { sub(/ \[[^]]*\]/, ""); if ($3 == "bookworm") { print $2; exit } }'
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'function done() { if (deb && suite && uri) { print uri; exit } deb = suite = 0; uri = "" }
      /^[ \t]*$/ { done() }
      /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm") suite = 1 }
      END { done() }' "$file"
  done
}
mirror=${PELLARIN_FRESH_MIRROR:-$(host_mirror | head -n 1)}
if [ -z "$mirror" ]; then
  echo "fresh-machine-test.sh: no bookworm archive in /etc/apt/sources.list*; set PELLARIN_FRESH_MIRROR" >&2
  exit 2
fi

work=$(mktemp -d /tmp/pellarin-fresh.XXXXXX)
root="$work/root"
mkdir -p build
log="$PWD/build/fresh-machine.log"
: > "$log"
demo_out="$work/demo.out"
checkout=/root/pellarin

# Every way out: end what still runs in the root, undo the mounts (lazily
# when busy), and remove the root only when nothing is mounted in it.
cleanup() {
  code=$?
  set +e
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill -9 "${proc#/proc/}" 2>/dev/null
  done
  for mount in dev/pts dev proc; do
    if mountpoint -q "$root/$mount" 2>/dev/null; then
      umount "$root/$mount" 2>/dev/null || umount -l "$root/$mount"
    fi
  done
  if grep -q " $root/" /proc/mounts; then
    echo "fresh-machine-test.sh: still mounted in $root, left in place" >&2
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$code"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

elapsed() { echo "$(($(date +%s) - $1)) s"; }
# Runs a command in the root as a newcomer's root shell would.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/sh -c "cd $checkout && $1"
}
# On failure, the end of the step's output.
fail() {
  echo "fresh-machine-test.sh: $1; the end of its output:" >&2
  tail -n 60 "$2" >&2
  exit 1
}

start=$(date +%s)
echo "Debian 12 minbase root from $mirror in $root"
step=$(date +%s)
debootstrap --variant=minbase bookworm "$root" "$mirror" >> "$log" 2>&1 || fail "debootstrap failed" "$log"
echo "debootstrap: $(elapsed "$step"), $(du -sxm "$root" | cut -f1) MB"
# The root is thrown away after the run: dpkg need not sync every file.
echo force-unsafe-io > "$root/etc/dpkg/dpkg.cfg.d/unsafe-io"

mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
[ -s "$root/etc/resolv.conf" ] || cp /etc/resolv.conf "$root/etc/resolv.conf"
# Debian's installer writes /etc/hosts, debootstrap does not: without it
# not even "localhost" has an address, which every installed machine has.
[ -s "$root/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"

git clone --quiet --no-checkout "$PWD" "$root$checkout"
git -C "$root$checkout" checkout --quiet --detach "$(git rev-parse HEAD)"
echo "clone of $(git rev-parse --short HEAD) in $checkout"

# The demo, in a process group of its own as at a terminal: once it has
# printed a few traces (or after the bound), Ctrl-C ends it.
step=$(date +%s)
: > "$demo_out"
in_root "exec setsid --wait tools/demo.sh" > "$demo_out" 2>> "$log" &
demo=$!
traces=0
waited=0
while [ "$waited" -lt 900 ] && kill -0 "$demo" 2>/dev/null; do
  traces=$(grep -c '[0-9][0-9]:[0-9][0-9]:[0-9][0-9] ([0-9])' "$demo_out" || true)
  [ "$traces" -ge 5 ] && break
  sleep 1
  waited=$((waited + 1))
done
# The demo's group leader: the process in the root that leads its own group.
for proc in /proc/[0-9]*; do
  [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] || continue
  pid=${proc#/proc/}
  [ "$(cut -d ' ' -f 5 "$proc/stat" 2>/dev/null)" = "$pid" ] && kill -INT "-$pid" 2>/dev/null
done
status=0
wait "$demo" || status=$?
cat "$demo_out" >> "$log"
[ "$traces" -ge 5 ] || fail "the demo printed $traces traces in ${waited} s" "$log"
[ "$status" -eq 130 ] || fail "the demo ended with status $status, not 130 (Ctrl-C)" "$log"
# Served live, the reports carry the time they were sent at (UTC).
grep -q -e "$(date -u +%H:%M):" -e "$(date -u -d '1 minute ago' +%H:%M):" "$demo_out" ||
  fail "the demo's traces do not show the current time" "$log"
echo "tools/demo.sh: $traces traces, ended by Ctrl-C; $(elapsed "$step") with its build"

step=$(date +%s)
in_root "tools/test.sh" >> "$log" 2>&1 || fail "tools/test.sh failed" "$log"
grep -E 'tests passed|Not Run|\*\*\*Skipped' "$log" || true
echo "tools/test.sh: $(elapsed "$step")"

echo "fresh machine: $(elapsed "$start") in all; the root took $(du -sxm "$root" | cut -f1) MB"
