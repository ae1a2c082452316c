# Cross build for 64-bit ARM Linux (arm64: 64-bit Raspberry Pi OS) with
# Debian's g++-aarch64-linux-gnu; tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PELLARIN_TARGET_TRIPLET aarch64-linux-gnu)
set(PELLARIN_DEBIAN_ARCHITECTURE arm64)
set(PELLARIN_QEMU qemu-aarch64)
set(PELLARIN_LIBGCC_VERSION 3.0)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
