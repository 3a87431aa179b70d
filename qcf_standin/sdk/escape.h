// Texts inside the simulator's files: every byte outside '!'..'~', and '%'
// itself, becomes %XX, so that an escaped text holds no space or line end.
#ifndef VARN_QCF_STANDIN_SDK_ESCAPE_H
#define VARN_QCF_STANDIN_SDK_ESCAPE_H

#include <string>

namespace qcf_standin {

std::string Escape(const std::string& text);
// False for a '%' not followed by two hexadecimal digits.
bool Unescape(const std::string& field, std::string* text);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_ESCAPE_H
