#include "soft_key.h"

#include "errors.h"
#include "escape.h"
#include "files.h"

namespace qcf_standin {

std::string FormatSoftKey(const std::string& app, const std::string& server,
                          const std::vector<unsigned char>& key) {
  std::string file = "QCF-STANDIN-SOFTKEY 1\n";
  file += "app " + Escape(app) + "\n";
  file += "server " + Escape(server) + "\n";
  file += "length " + std::to_string(key.size()) + "\n\n";
  file.append(key.begin(), key.end());
  return file;
}

int CheckSoftKeyPath(const std::string& path, bool overwrite) {
  if (path.empty()) return kSoftKeyPathInvalid;
  switch (KindOfPath(path)) {
    case PathKind::kDirectory:
      return kSoftKeyPathInvalid;
    case PathKind::kFile:
      return overwrite ? kOk : kSoftKeyExists;
    case PathKind::kUnknown:
      return kSoftKeyWriteFailed;
    case PathKind::kMissing:
      break;
  }
  return KindOfPath(ParentDirectory(path)) == PathKind::kDirectory
             ? kOk
             : kSoftKeyDirMissing;
}

int WriteSoftKey(const std::string& path, const std::string& content,
                 bool overwrite) {
  switch (WriteFileAtomically(path, content, overwrite)) {
    case WriteResult::kOk:
      return kOk;
    case WriteResult::kExists:
      return kSoftKeyExists;
    case WriteResult::kFailed:
      break;
  }
  return kSoftKeyWriteFailed;
}

}  // namespace qcf_standin
