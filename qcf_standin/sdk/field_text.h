// Texts inside fixed-width record fields, read without ever passing the
// field's end: a field that holds no NUL is taken whole.
#ifndef VARN_QCF_STANDIN_SDK_FIELD_TEXT_H
#define VARN_QCF_STANDIN_SDK_FIELD_TEXT_H

#include <cstddef>
#include <string>

namespace qcf_standin {

inline std::string FieldText(const char* field, size_t width) {
  size_t length = 0;
  while (length < width && field[length] != '\0') ++length;
  return std::string(field, length);
}

template <size_t Width>
std::string FieldText(const char (&field)[Width]) {
  return FieldText(field, Width);
}

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_FIELD_TEXT_H
