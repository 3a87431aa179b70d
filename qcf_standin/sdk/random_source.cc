#include "random_source.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "hex.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#elif defined(__linux__)
#include <sys/random.h>
#endif

namespace qcf_standin {
namespace {

#if !defined(_WIN32)
bool FromDevice(unsigned char* out, size_t size) {
  std::FILE* device = std::fopen("/dev/urandom", "rb");
  if (!device) return false;
  const bool ok = std::fread(out, 1, size, device) == size;
  std::fclose(device);
  return ok;
}
#endif

}  // namespace

bool RandomBytes(unsigned char* out, size_t size) {
#ifdef _WIN32
  while (size > 0) {
    const ULONG chunk =
        static_cast<ULONG>(size > 0x10000000 ? 0x10000000 : size);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, chunk,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    out += chunk;
    size -= chunk;
  }
  return true;
#elif defined(__linux__)
  while (size > 0) {
    const ssize_t got = getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // A kernel without getrandom(): its device serves as well.
      return errno == ENOSYS && FromDevice(out, size);
    }
    out += got;
    size -= static_cast<size_t>(got);
  }
  return true;
#else
  return FromDevice(out, size);
#endif
}

std::string RandomHex(size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  if (!RandomBytes(raw.data(), raw.size())) return std::string();
  return HexUpper(raw.data(), raw.size());
}

}  // namespace qcf_standin
