# What Debian's cross toolchains share: the compiler named by the target
# triplet, the target's libraries in /usr/TRIPLET, and qemu-user to run the
# target's programs (tests, test discovery) on this machine. Included by the
# toolchain files, which set PELLARIN_TARGET_TRIPLET,
# PELLARIN_DEBIAN_ARCHITECTURE and PELLARIN_QEMU (the emulator's words) first,
# and either PELLARIN_STATIC or PELLARIN_LIBGCC_VERSION.
set(CMAKE_C_COMPILER ${PELLARIN_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PELLARIN_TARGET_TRIPLET}-g++)

set(PELLARIN_SYSROOT /usr/${PELLARIN_TARGET_TRIPLET})
# Libraries beyond the C and C++ ones (zlib) come from Debian's packages of
# the target (zlib1g-dev:armel): unpacked into build/target-libs/ARCH by
# tools/arm-builds.sh, or installed multiarch, in usr/lib/TRIPLET with their
# headers in usr/include.
cmake_path(SET PELLARIN_TARGET_LIBS NORMALIZE
  ${CMAKE_CURRENT_LIST_DIR}/../../build/target-libs/${PELLARIN_DEBIAN_ARCHITECTURE})
set(CMAKE_LIBRARY_ARCHITECTURE ${PELLARIN_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${PELLARIN_SYSROOT} ${PELLARIN_TARGET_LIBS} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PELLARIN_DEBIAN_ARCHITECTURE})

if(PELLARIN_STATIC)
  # Statically linked programs: the package needs nothing of the target, and
  # the emulator is given no sysroot, so that a program that still wanted a
  # library of the target could not start under test either. The linker's
  # warning that getaddrinfo in a static program needs the build's C library
  # at run time is answered by static/name_service.cc: only the lookups built
  # into the C library are used.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
  set(ZLIB_USE_STATIC_LIBS ON)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELLARIN_QEMU})
  return()
endif()

# -L: the dynamic loader and the C and C++ libraries come from the sysroot,
# the other shared libraries from the unpacked packages.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELLARIN_QEMU} -L ${PELLARIN_SYSROOT}
  -E LD_LIBRARY_PATH=${PELLARIN_TARGET_LIBS}/lib/${PELLARIN_TARGET_TRIPLET})

# dpkg-shlibdeps knows only this machine's libraries, so the package names
# its dependencies itself: the newest symbol versions the programs use are
# GLIBC_2.34, GLIBCXX_3.4.29 (GCC 11) and the libgcc_s one of the target.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libgcc-s1 (>= ${PELLARIN_LIBGCC_VERSION}), libstdc++6 (>= 11)")
