// Formatted console lines on standard output.
#ifndef VARN_DIAGNOSTICS_CONSOLE_H
#define VARN_DIAGNOSTICS_CONSOLE_H

#include <cstdio>

// Lets the compiler check every call's arguments against its format. MinGW
// names the printf flavour its C runtime actually uses.
#if defined(__MINGW32__)
#define VARN_PRINTF_FORMAT(fmt, first) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__) || defined(__clang__)
#define VARN_PRINTF_FORMAT(fmt, first) \
  __attribute__((format(printf, fmt, first)))
#else
#define VARN_PRINTF_FORMAT(fmt, first)
#endif

namespace VarnNode {

// Prints `format` and its arguments to stdout with the C library's printf
// rules and adds nothing (no prefix, no newline). stdout is not flushed, and
// no locale or console code page is set: UTF-8 bytes go out unchanged.
// Returns what vprintf returns; a null format prints nothing and returns -1.
int consolePrint(const char *format, ...) VARN_PRINTF_FORMAT(1, 2);

}  // namespace VarnNode

#endif  // VARN_DIAGNOSTICS_CONSOLE_H
