// The simulator's key store access: one process at a time, under the key
// file's lock, read whole and written whole.
#include "file_lock.h"
#include "files.h"
#include "random_source.h"
#include "simulator.h"

namespace qcf_standin {
namespace {

// A fresh security module: no keys yet, a tag of its own.
bool NewStore(KeyStoreData* store) {
  const std::string tag = RandomHex(4);
  if (tag.empty()) return false;
  *store = KeyStoreData{};
  store->tag = "SPM-" + tag;
  return true;
}

}  // namespace

Outcome Simulator::WithStore(bool change,
                             const std::function<Outcome(KeyStoreData&)>& body,
                             const std::function<void()>& undo) {
  if (keyFilePath_.empty()) return Refused(kNoKeyFile);
  const std::string& path = keyFilePath_;
  FileLock lock(path + ".lock", kKeyFileLockTimeoutMs);
  if (!lock.opened()) {
    return Faulted(kKeyStoreUnwritable,
                   "cannot create the lock file " + path + ".lock");
  }
  if (!lock.held()) {
    return Faulted(kKeyStoreBusy, "key file " + path + " stayed locked");
  }

  KeyStoreData store;
  bool created = false;
  std::string text;
  std::string why;
  switch (ReadWholeFile(path, kMaxKeyFileSize, &text)) {
    case ReadResult::kOk:
      if (!ParseKeyStore(text, &store, &why)) {
        return Faulted(kKeyStoreUnreadable,
                       "key file " + path + " is damaged: " + why);
      }
      break;
    case ReadResult::kMissing:
      if (!NewStore(&store)) {
        return Faulted(kRandomFailed, "no random bytes for a new key store");
      }
      created = true;
      break;
    case ReadResult::kTooLarge:
      return Faulted(kKeyStoreUnreadable,
                     "key file " + path + " is too large to be a key store");
    case ReadResult::kFailed:
      return Faulted(kKeyStoreUnreadable,
                     "key file " + path + " cannot be read");
  }

  Outcome outcome = body(store);
  const bool write = created || (change && outcome.code == kOk);
  if (write && WriteFileAtomically(path, FormatKeyStore(store), true) !=
                   WriteResult::kOk) {
    if (undo) undo();
    return Faulted(kKeyStoreUnwritable,
                   "key file " + path + " cannot be written");
  }
  return outcome;
}

}  // namespace qcf_standin
