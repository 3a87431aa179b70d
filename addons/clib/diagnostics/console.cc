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
  return written;
}

}  // namespace VarnNode
