#include "diagnostics/console.h"

#include <cstdarg>
#include <cstdio>

namespace VarnNode {

int consolePrint(const char *format, ...) {
  if (format == nullptr) return -1;
  va_list args;
  va_start(args, format);
  // stdio locks stdout per call, so lines from several threads do not mix.
  const int written = std::vprintf(format, args);
  va_end(args);
  // Out at once, even into a pipe: a line kept in the buffer would come out
  // of order with the host's own output, or at exit in the middle of it
  // (where it corrupts a protocol such as the test runner's).
  std::fflush(stdout);
  return written;
}

}  // namespace VarnNode
