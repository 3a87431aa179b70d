// Hexadecimal text of bytes, and back.
#ifndef VARN_QCF_STANDIN_SDK_HEX_H
#define VARN_QCF_STANDIN_SDK_HEX_H

#include <cstddef>
#include <string>
#include <vector>

namespace qcf_standin {

std::string HexUpper(const unsigned char* bytes, size_t size);
// False for an odd length or a character that is not a hexadecimal digit.
bool ParseHex(const std::string& text, std::vector<unsigned char>* bytes);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_HEX_H
