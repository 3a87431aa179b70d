// The key store as the key file holds it, and the file's text format.
//
//   QCF-STANDIN-KEYSTORE 1
//   tag <key tag>
//   source <server of the last fill or refill, empty before the first>
//   counters <totalKeySize> <usedKeySize> <keyBasePostion>
//   group <id> <key, hexadecimal> <name> <note>      (one line per group)
//   end <FNV-1a 64 of every byte before this line, 16 hexadecimal digits>
//
// Lines end in LF; fields are separated by one space. Texts are written
// with every byte outside '!'..'~', and '%' itself, as %XX, so that a field
// never holds a space or a line end; an empty text is an empty field. A file
// that is cut short, has a wrong sum or anything after the end line is
// damaged, never half-read.
#ifndef VARN_QCF_STANDIN_SDK_KEY_FILE_H
#define VARN_QCF_STANDIN_SDK_KEY_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qcf_standin {

constexpr size_t kMaxGroupKeyLength = 256;  // what QCF_ExportKey can hand out
constexpr size_t kMaxKeyFileSize = 64u << 20;

struct GroupRecord {
  std::string id;
  std::vector<unsigned char> key;
  std::string name;  // QCF_CreateGroup's first text
  std::string note;  // its third text
};

struct KeyStoreData {
  std::string tag;
  std::string source;
  uint32_t totalKeySize = 0;
  uint32_t usedKeySize = 0;
  uint32_t keyBasePostion = 0;
  std::vector<GroupRecord> groups;

  const GroupRecord* FindGroup(const std::string& id) const;
};

std::string FormatKeyStore(const KeyStoreData& store);
// False, with the reason in `why`, unless `text` is a whole key store.
bool ParseKeyStore(const std::string& text, KeyStoreData* store,
                   std::string* why);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_KEY_FILE_H
