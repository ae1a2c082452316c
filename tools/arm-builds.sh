#!/bin/sh
# The Raspberry Pi builds: 64-bit (arm64) and 32-bit (armhf) ARM, cross
# compiled with Debian's toolchains, every test run under qemu-user, then
# packaged. Checks that each package says its architecture and holds the
# programs and their man pages. The packages land in build/aarch64 and
# build/armhf.
set -eu
cd "$(dirname "$0")/.."

tools/install-missing.sh cmake make g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user googletest

for arch in aarch64:arm64 armhf:armhf; do
  preset=${arch%%:*}
  debian_arch=${arch#*:}
  cmake --workflow --preset "$preset"
  package=$(ls "build/$preset"/pellarin_*_"$debian_arch".deb)
  if [ "$(dpkg-deb -f "$package" Architecture)" != "$debian_arch" ]; then
    echo "$package is not for $debian_arch" >&2
    exit 1
  fi
  contents=$(dpkg -c "$package")
  for program in pellarin pellarin-sim pellarin-kiss; do
    for file in "bin/$program" "share/man/man1/$program.1"; do
      if ! echo "$contents" | grep -q " \./usr/$file\$"; then
        echo "$package lacks /usr/$file" >&2
        exit 1
      fi
    done
  done
  echo "$package: $debian_arch, $(wc -c < "$package") bytes"
done
