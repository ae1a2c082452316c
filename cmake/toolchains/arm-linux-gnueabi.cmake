# Cross build for every 32-bit ARM Linux, ARMv6 and later (every Raspberry Pi
# under a 32-bit OS, from the Zero and Pi 1 with their ARM1176 core) and
# Debian's armel machines, with Debian's g++-arm-linux-gnueabi: armel code is
# ARMv5TE without Thumb-2, its start-up files and static libraries too, where
# Debian's armhf toolchain and libraries are ARMv7. Linked statically, since an
# armel program cannot use the hard-float libraries of an armhf system; the
# same programs go into the armhf and armel packages. Tests run under
# qemu-user on the Pi Zero's core.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(PELLARIN_TARGET_TRIPLET arm-linux-gnueabi)
set(PELLARIN_DEBIAN_ARCHITECTURE armel)
set(PELLARIN_QEMU qemu-arm -cpu arm1176)
set(PELLARIN_STATIC ON)
# GCC notes, at every std::map insertion, that GCC 7.1 changed how such an
# argument is passed on ARM: nothing built with an older compiler is linked.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

# 64-bit time_t: the top-level CMakeLists.txt asks for it on every 32-bit
# build, so that a build on the board itself has it too.
