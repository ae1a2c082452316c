#!/bin/sh
# The Raspberry Pi builds, cross compiled with Debian's toolchains, every test
# run under qemu-user, then packaged and checked (tools/deb-check.sh):
# - aarch64 preset: 64-bit ARM (arm64: 64-bit Raspberry Pi OS, Debian arm64),
#   linked dynamically; its package lands in build/aarch64.
# - armv6 preset: every 32-bit ARM, ARMv6 and later (armel code, linked
#   statically), its tests run on an emulated ARM1176 (Pi Zero and Pi 1);
#   the same programs packaged for armhf (32-bit Raspberry Pi OS on every
#   model, Debian armhf) and armel, in build/armv6. Every packaged 32-bit
#   program must be ARMv6-safe (check_armv6 below).
# Prints each build's time and the sizes of programs and packages.
set -eu
cd "$(dirname "$0")/.."

tools/install-missing.sh cmake make g++-aarch64-linux-gnu g++-arm-linux-gnueabi qemu-user \
  googletest binutils lintian
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

# zlib from Debian's packages of the target, unpacked into build/target-libs/
# ARCH, where the toolchain files look, rather than installed multiarch: a
# multiarch zlib1g-dev drags in the target's libc6-dev, which apt installs only
# while its version and this machine's are the same to the letter, and the
# archive's architectures are not always in step.
unpack_target_zlib() {
  architecture=$1
  directory=build/target-libs/$architecture
  [ -f "$directory/usr/include/zlib.h" ] && return
  if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
    $sudo_cmd dpkg --add-architecture "$architecture"
    $sudo_cmd apt-get update
  fi
  mkdir -p "$directory/debs"
  (cd "$directory/debs" && apt-get download "zlib1g:$architecture" "zlib1g-dev:$architecture")
  for deb in "$directory"/debs/*.deb; do
    dpkg-deb -x "$deb" "$directory"
  done
  # libz.so points at /lib/TRIPLET/libz.so.1...: the same file here.
  find "$directory" -type l | while read -r link; do
    target=$(readlink "$link")
    case $target in
      /*) ln -sfn "$PWD/$directory$target" "$link" ;;
    esac
  done
}

# ARMv6-safe: every instruction runs on an ARM1176. The build attributes name
# ARMv6 or an older architecture and no Thumb-2, and the program is static
# (no interpreter, no dynamic section): it takes no code from a target's
# libraries, which on armhf systems are ARMv7.
check_armv6() {
  attributes=$(readelf -A "$1")
  architecture=$(echo "$attributes" | sed -n 's/^ *Tag_CPU_arch: //p')
  case $architecture in
    v4 | v4T | v5T | v5TE | v5TEJ | v6 | v6K | v6KZ) ;;
    *)
      echo "$1: architecture ${architecture:-not named}, not ARMv6 or older" >&2
      return 1
      ;;
  esac
  if echo "$attributes" | grep -q "Tag_THUMB_ISA_use: Thumb-2"; then
    echo "$1: holds Thumb-2 code" >&2
    return 1
  fi
  if readelf -lW "$1" | grep -qE "^ *(INTERP|DYNAMIC) "; then
    echo "$1: not statically linked" >&2
    return 1
  fi
}

# The check must refuse what today's Debian armhf toolchain makes of the
# same code: ARMv7 with Thumb-2.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo 'int main(void) { return 0; }' >"$scratch/empty.c"
arm-linux-gnueabi-gcc -march=armv7-a -mthumb -static -o "$scratch/armv7" "$scratch/empty.c"
if check_armv6 "$scratch/armv7" 2>/dev/null; then
  echo "check_armv6 passes an ARMv7 Thumb-2 program" >&2
  exit 1
fi

unpack_target_zlib arm64
unpack_target_zlib armel

for preset in aarch64 armv6; do
  start=$(date +%s)
  cmake --workflow --preset "$preset"
  echo "$preset: built, tested and packaged in $(($(date +%s) - start)) s"
done

check_package() {
  tools/deb-check.sh "$1" "$2"
  rm -rf "$scratch/root"
  dpkg-deb -x "$2" "$scratch/root"
  for program in pellarin pellarin-sim pellarin-kiss; do
    binary=$scratch/root/usr/bin/$program
    [ "$1" = arm64 ] || check_armv6 "$binary"
    echo "$2: $program $(wc -c <"$binary") bytes"
  done
}
check_package arm64 build/aarch64/pellarin_1.0_arm64.deb
check_package armhf build/armv6/pellarin_1.0_armhf.deb
check_package armel build/armv6/pellarin_1.0_armel.deb
echo "The armhf and armel packages hold ARMv6-safe, statically linked programs"
