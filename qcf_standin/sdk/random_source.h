// Fresh key material from the operating system's random source.
#ifndef VARN_QCF_STANDIN_SDK_RANDOM_SOURCE_H
#define VARN_QCF_STANDIN_SDK_RANDOM_SOURCE_H

#include <cstddef>
#include <string>

namespace qcf_standin {

// Fills `size` bytes; false when the source fails.
bool RandomBytes(unsigned char* out, size_t size);

// `bytes` random bytes as upper-case hexadecimal text; empty on failure.
std::string RandomHex(size_t bytes);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_RANDOM_SOURCE_H
