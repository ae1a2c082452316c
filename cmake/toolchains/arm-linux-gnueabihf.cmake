# Cross build for 32-bit ARM Linux (armhf: 32-bit Raspberry Pi OS) with
# Debian's g++-arm-linux-gnueabihf; tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(PELLARIN_TARGET_TRIPLET arm-linux-gnueabihf)
set(PELLARIN_DEBIAN_ARCHITECTURE armhf)
set(PELLARIN_QEMU qemu-arm)
set(PELLARIN_LIBGCC_VERSION 3.5)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

# The C library's time_t is 32 bits here unless asked for 64: without it
# every time after 19 January 2038 wraps. 64-bit time needs 64-bit offsets.
set(CMAKE_C_FLAGS_INIT "-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")
