// The simulator's security module information, key groups, their keys and
// the security module report.
#include <cstdio>
#include <cstring>

#include "random_source.h"
#include "simulator.h"

namespace qcf_standin {
namespace {

constexpr uintptr_t kHandleBase = 0x5D000000;
constexpr uintptr_t kHandleStep = 0x10;
constexpr size_t kGroupIdSize = 64;
constexpr int kIdAttempts = 8;
// A group's name and note are only shown, so a long one is cut rather than
// allowed to swell the key file.
constexpr size_t kMaxGroupText = 255;

void CopyText(char* field, size_t width, const std::string& text) {
  std::snprintf(field, width, "%s", text.c_str());
}

// A group id no group of `store` has yet.
std::string NewGroupId(const KeyStoreData& store) {
  for (int attempt = 0; attempt < kIdAttempts; ++attempt) {
    const std::string random = RandomHex(8);
    if (random.empty()) return std::string();
    const std::string id = "GRP-" + random;
    if (!store.FindGroup(id)) return id;
  }
  return std::string();
}

}  // namespace

Outcome Simulator::GetSpmKeyInfo(const QCF_SpmKeyQuery* query,
                                 QCF_SpmKeyInfo* info) {
  if (!query || !info) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedInitialised();
  if (allowed != kOk) return Refused(allowed);
  return WithStore(false, [info](KeyStoreData& store) {
    std::memset(info, 0, sizeof *info);
    CopyText(info->keyTag, sizeof info->keyTag, store.tag);
    CopyText(info->keySource, sizeof info->keySource,
             store.source.empty() ? "none" : store.source);
    info->totalKeySize = store.totalKeySize;
    info->usedKeySize = store.usedKeySize;
    info->keyBasePostion = store.keyBasePostion;
    return Done(store.tag + ": total " + std::to_string(store.totalKeySize) +
                ", used " + std::to_string(store.usedKeySize) + ", base " +
                std::to_string(store.keyBasePostion));
  });
}

Outcome Simulator::CreateGroup(const char* name, uint32_t keyLen, int32_t* cell,
                               const char* note, char* groupId) {
  if (!name || !note || !groupId) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedLogin();
  if (allowed != kOk) return Refused(allowed);
  if (TokenLapsed()) return Refused(kTokenExpired);
  const uint32_t capacity =
      Setting(kCapacitySetting, kDefaultCapacity, kMaxCapacity);
  const uint32_t length = keyLen == 0 ? kDefaultGroupKeyLength : keyLen;
  if (length > capacity || length > kMaxGroupKeyLength) {
    return Refused(kKeyLenTooLarge, std::to_string(length));
  }
  std::vector<unsigned char> key(length);
  if (!RandomBytes(key.data(), key.size())) {
    return Faulted(kRandomFailed, "no random bytes for a group key");
  }
  std::string id;
  Outcome outcome = WithStore(true, [&](KeyStoreData& store) {
    if (store.totalKeySize - store.usedKeySize < length) {
      return Refused(kSpmExhausted,
                     std::to_string(store.totalKeySize - store.usedKeySize) +
                         " bytes left, " + std::to_string(length) + " needed");
    }
    id = NewGroupId(store);
    if (id.empty()) {
      return Faulted(kRandomFailed, "no random bytes for a group id");
    }
    store.groups.push_back(
        GroupRecord{id, key, std::string(name).substr(0, kMaxGroupText),
                    std::string(note).substr(0, kMaxGroupText)});
    store.usedKeySize += length;
    return Done("group " + id + " with a key of " + std::to_string(length) +
                " bytes");
  });
  if (outcome.code == kOk) {
    CopyText(groupId, kGroupIdSize, id);
    if (cell) *cell = static_cast<int32_t>(length);
  }
  return outcome;
}

Outcome Simulator::ApplyKey(const char* first, const char* second,
                            void** keyHandle) {
  if (!keyHandle) return Refused(kInvalidArgument);
  *keyHandle = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedLogin();
  if (allowed != kOk) return Refused(allowed);
  if (TokenLapsed()) return Refused(kTokenExpired);
  std::vector<unsigned char> key;
  Outcome outcome = WithStore(false, [&](KeyStoreData& store) {
    for (const char* text : {first, second}) {
      const GroupRecord* group = text ? store.FindGroup(text) : nullptr;
      if (group) {
        key = group->key;
        return Done("group " + group->id);
      }
    }
    return Refused(kUnknownGroup, first ? first : "");
  });
  if (outcome.code != kOk) return outcome;
  const uintptr_t handle = kHandleBase + kHandleStep * ++handlesIssued_;
  handles_[handle] = std::move(key);
  *keyHandle = reinterpret_cast<void*>(handle);
  return outcome;
}

Outcome Simulator::ExportKey(const void* keyHandle, int32_t* keyLen,
                             unsigned char* key) {
  if (!keyLen || !key) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = handles_.find(reinterpret_cast<uintptr_t>(keyHandle));
  if (found == handles_.end()) return Refused(kInvalidKeyHandle);
  const std::vector<unsigned char>& bytes = found->second;
  std::memcpy(key, bytes.data(), bytes.size());
  *keyLen = static_cast<int32_t>(bytes.size());
  return Done(std::to_string(bytes.size()) + " bytes");
}

Outcome Simulator::Report(const char* spm, const char* publicKey,
                          int32_t port) {
  if (!spm || !publicKey || !*spm || !*publicKey) {
    return Refused(kInvalidArgument);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedLogin();
  if (allowed != kOk) return Refused(allowed);
  if (TokenLapsed()) return Refused(kTokenExpired);
  if (port <= 0 || port > 65535) return Refused(kBadServer);
  return Done("'" + std::string(spm) + "' with a public key of " +
              std::to_string(std::strlen(publicKey)) + " characters");
}

Simulator& Sim() {
  static Simulator* simulator = new Simulator;  // never destroyed; intern.cc
  return *simulator;
}

}  // namespace qcf_standin
