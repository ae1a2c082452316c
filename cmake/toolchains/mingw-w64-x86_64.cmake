# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix-threads
# variant: its C++ library has std::thread and the rest that C++20 needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file that runs on a bare Windows machine: the C++ runtime, libgcc and
# winpthread linked in, so only system DLLs are needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (CTest and GoogleTest's test discovery alike),
# with a Wine prefix of the build tree's own and Wine's chatter off.
find_program(WINE_PROGRAM NAMES wine wine64 wine-stable)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all
    ${WINE_PROGRAM})
endif()
