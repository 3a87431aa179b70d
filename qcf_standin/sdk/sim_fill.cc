// The simulator's filling and refilling: fresh key material into a soft key
// file and into the security module's counters.
#include <cstring>

#include "field_text.h"
#include "files.h"
#include "random_source.h"
#include "simulator.h"
#include "soft_key.h"

namespace qcf_standin {
namespace {

// Adds `amount` bytes of new key material to the module's counters: the new
// batch starts where the old material ends.
int AddKeyMaterial(KeyStoreData& store, uint64_t amount,
                   const std::string& source) {
  if (store.totalKeySize + amount > UINT32_MAX) return kSpmFull;
  store.keyBasePostion = store.totalKeySize;
  store.totalKeySize += static_cast<uint32_t>(amount);
  store.source = source;
  return kOk;
}

}  // namespace

Outcome Simulator::FillKey(const char* serverAddr, uint32_t port,
                           const char* userTokenHandle,
                           const QCF_FillKeyItem* item,
                           const uint32_t* overWriteFlag) {
  if (!serverAddr || !userTokenHandle || !item || !overWriteFlag) {
    return Refused(kInvalidArgument);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedLogin();
  if (allowed != kOk) return Refused(allowed);
  if (TokenLapsed()) return Refused(kTokenExpired);
  if (!*serverAddr || port == 0) return Refused(kBadServer);
  if (FieldText(item->pin1) != kDefaultPin) {
    return Refused(kWrongPin, "the first PIN of the fill-key item");
  }
  if (FieldText(item->pin2) != kDefaultPin) {
    return Refused(kWrongPin, "the second PIN of the fill-key item");
  }
  const uint32_t capacity =
      Setting(kCapacitySetting, kDefaultCapacity, kMaxCapacity);
  if (item->keyLen == 0) return Refused(kKeyLenZero);
  if (item->keyLen > capacity) {
    return Refused(kKeyLenTooLarge, std::to_string(item->keyLen) + " > " +
                                        std::to_string(capacity));
  }
  const std::string path = FieldText(item->softkeyPath);
  const bool overwrite = *overWriteFlag != 0;
  const int pathCheck = CheckSoftKeyPath(path, overwrite);
  if (pathCheck != kOk) return Refused(pathCheck, path);
  if (keyFilePath_.empty()) return Refused(kNoKeyFile);

  std::vector<unsigned char> key(item->keyLen);
  if (!RandomBytes(key.data(), key.size())) {
    return Faulted(kRandomFailed, "no random bytes for a soft key");
  }
  const std::string app = FieldText(item->appName);
  const std::string server =
      std::string(serverAddr) + ":" + std::to_string(port);
  const bool existed = KindOfPath(path) == PathKind::kFile;
  bool wrote = false;
  return WithStore(
      true,
      [&](KeyStoreData& store) {
        const KeyStoreData before = store;
        int code = AddKeyMaterial(store, key.size(), server);
        if (code == kOk)
          code = WriteSoftKey(path, FormatSoftKey(app, server, key), overwrite);
        if (code != kOk) {
          store = before;
          return Refused(code, path);
        }
        wrote = true;
        return Done(std::to_string(key.size()) + " bytes for '" + app +
                    "' into " + path);
      },
      [&] {
        // The store does not count the file, so it must not stay.
        if (wrote && !existed) RemoveFile(path);
      });
}

Outcome Simulator::ReFillKey(const char* token, uint32_t count,
                             uint32_t keyLen) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedLogin();
  if (allowed != kOk) return Refused(allowed);
  if (!token) return Refused(kNotLoggedIn, "no token given");
  if (std::strcmp(token, token_) != 0) return Refused(kTokenInvalid);
  if (TokenLapsed()) return Refused(kTokenExpired);
  const uint32_t capacity =
      Setting(kCapacitySetting, kDefaultCapacity, kMaxCapacity);
  if (count == 0 || count > kMaxRefillCount || keyLen == 0) {
    return Refused(kRefillAmountInvalid);
  }
  if (keyLen > capacity) {
    return Refused(kKeyLenTooLarge,
                   std::to_string(keyLen) + " > " + std::to_string(capacity));
  }
  const uint64_t amount = static_cast<uint64_t>(count) * keyLen;
  const std::string server = server_;
  return WithStore(true, [&](KeyStoreData& store) {
    if (AddKeyMaterial(store, amount, server) != kOk) return Refused(kSpmFull);
    return Done(std::to_string(count) + " keys of " + std::to_string(keyLen) +
                " bytes from " + server);
  });
}

}  // namespace qcf_standin
