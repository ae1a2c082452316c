# What Debian's cross toolchains share: the compiler named by the target
# triplet, the target's libraries in /usr/TRIPLET, and qemu-user to run the
# target's programs (tests, test discovery) on this machine. Included by the
# toolchain files, which set PELLARIN_TARGET_TRIPLET,
# PELLARIN_DEBIAN_ARCHITECTURE, PELLARIN_QEMU and PELLARIN_LIBGCC_VERSION
# first.
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

# dpkg-shlibdeps knows only this machine's libraries, so the package names
# its dependencies itself: the newest symbol versions the programs use are
# GLIBC_2.34, GLIBCXX_3.4.29 (GCC 11) and the libgcc_s one of the target.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PELLARIN_DEBIAN_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libgcc-s1 (>= ${PELLARIN_LIBGCC_VERSION}), libstdc++6 (>= 11)")
