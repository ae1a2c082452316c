// The format check for printf-style functions. MinGW builds use MinGW's own
// C99 printf (for %zu and the same text as on Linux), which GCC checks as
// gnu_printf there; its plain printf would mean the system's msvcrt one.
#pragma once

#if defined(__MINGW32__)
#define PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#endif
