// Soft key files: what filling leaves at the item's soft key path. A short
// text header says what the key is for, then come the key bytes:
//
//   QCF-STANDIN-SOFTKEY 1
//   app <application name>
//   server <key server address>:<port>
//   length <key length in bytes>
//   <empty line>
//   <the key bytes, exactly `length` of them, and nothing after>
//
// Texts are escaped as in the key file (escape.h).
#ifndef VARN_QCF_STANDIN_SDK_SOFT_KEY_H
#define VARN_QCF_STANDIN_SDK_SOFT_KEY_H

#include <string>
#include <vector>

namespace qcf_standin {

std::string FormatSoftKey(const std::string& app, const std::string& server,
                          const std::vector<unsigned char>& key);

// kOk, or the refusal's code, for writing a soft key at `path`.
int CheckSoftKeyPath(const std::string& path, bool overwrite);

// Writes the file in one piece (files.h); kOk or the refusal's code.
int WriteSoftKey(const std::string& path, const std::string& content,
                 bool overwrite);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_SOFT_KEY_H
