#include "escape.h"

#include <vector>

#include "hex.h"

namespace qcf_standin {

std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c > ' ' && c <= '~' && c != '%') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += HexUpper(&c, 1);
    }
  }
  return out;
}

bool Unescape(const std::string& field, std::string* text) {
  text->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      *text += field[i];
      continue;
    }
    std::vector<unsigned char> byte;
    if (i + 2 >= field.size() || !ParseHex(field.substr(i + 1, 2), &byte)) {
      return false;
    }
    *text += static_cast<char>(byte[0]);
    i += 2;
  }
  return true;
}

}  // namespace qcf_standin
