# What Debian's cross toolchains share: the compiler named by the target
# triplet, the target's libraries in /usr/TRIPLET, and qemu-user to run the
# target's programs (tests, test discovery) on this machine. Included by the
# toolchain files, which set PELLARIN_TARGET_TRIPLET,
# PELLARIN_DEBIAN_ARCHITECTURE and PELLARIN_QEMU first.
set(CMAKE_C_COMPILER ${PELLARIN_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PELLARIN_TARGET_TRIPLET}-g++)

set(PELLARIN_SYSROOT /usr/${PELLARIN_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${PELLARIN_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -L: the dynamic loader and shared libraries come from the sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELLARIN_QEMU} -L ${PELLARIN_SYSROOT})

set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PELLARIN_DEBIAN_ARCHITECTURE})
