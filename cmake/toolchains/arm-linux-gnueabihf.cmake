# Cross build for 32-bit ARM Linux (armhf: 32-bit Raspberry Pi OS) with
# Debian's g++-arm-linux-gnueabihf; tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(PELLARIN_TARGET_TRIPLET arm-linux-gnueabihf)
set(PELLARIN_DEBIAN_ARCHITECTURE armhf)
set(PELLARIN_QEMU qemu-arm)
set(PELLARIN_LIBGCC_VERSION 3.5)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

# 64-bit time_t: the top-level CMakeLists.txt asks for it on every 32-bit
# build, so that a build on the board itself has it too.
