#include "key_store.h"

#include <cstdio>
#include <cstring>

#include "errors.h"
#include "intern.h"

namespace qcf_standin {
namespace {

constexpr uintptr_t kHandleBase = 0x51A00000;
constexpr uintptr_t kHandleStep = 0x10;

std::string Numbered(const char* prefix, uint32_t number) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%04u", prefix, number);
  return text;
}

// Key bytes that depend only on the group id, so that every handle of one
// group exports the same key.
std::vector<unsigned char> KeyForGroup(const std::string& id) {
  uint64_t state = 0xcbf29ce484222325u;  // FNV-1a over the id as a seed
  for (unsigned char c : id) state = (state ^ c) * 0x100000001b3u;
  std::vector<unsigned char> key(kGroupKeyLength);
  for (unsigned char& byte : key) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<unsigned char>(state >> 32);
  }
  return key;
}

void CopyText(char* field, size_t width, const char* text) {
  std::snprintf(field, width, "%s", text);
}

}  // namespace

QCF_SpmKeyInfo DefaultSpmKeyInfo() {
  QCF_SpmKeyInfo info;
  std::memset(&info, 0, sizeof info);
  CopyText(info.keyTag, sizeof info.keyTag, "standin-spm-0001");
  CopyText(info.keySource, sizeof info.keySource,
           "standin in-memory key store");
  info.totalKeySize = 1048576;
  info.usedKeySize = 65536;
  info.keyBasePostion = 4096;
  return info;
}

void KeyStore::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_.clear();
  keyFilePath_.clear();
  session_ = 1;
  token_ = nullptr;
  groupsCreated_ = 0;
  groupKeys_.clear();
  handlesIssued_ = 0;
  handleGroups_.clear();
}

void KeyStore::SetSetting(const char* key, const char* value) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_[key] = value;
}

void KeyStore::SetKeyFilePath(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  keyFilePath_ = path;
}

char* KeyStore::Login(const std::string* scriptedToken) {
  std::lock_guard<std::mutex> lock(mutex_);
  char* token = InternText(
      scriptedToken ? *scriptedToken : Numbered("standin-token-", session_));
  token_ = token;
  return token;
}

void KeyStore::EndSession() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (token_) ++session_;
  token_ = nullptr;
}

int KeyStore::CheckToken(const char* token) {
  if (!token) return kNotLoggedIn;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!token_ || std::strcmp(token, token_) != 0) return kTokenInvalid;
  return kOk;
}

std::string KeyStore::CreateGroup() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string id = Numbered("standin-group-", ++groupsCreated_);
  groupKeys_[id] = KeyForGroup(id);
  return id;
}

void KeyStore::AddGroup(const std::string& id) {
  if (id.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (groupKeys_.count(id) == 0) groupKeys_[id] = KeyForGroup(id);
}

void* KeyStore::ApplyKey(const char* first, const char* second) {
  std::lock_guard<std::mutex> lock(mutex_);
  const char* named = nullptr;
  if (first && groupKeys_.count(first)) {
    named = first;
  } else if (second && groupKeys_.count(second)) {
    named = second;
  }
  if (!named) return nullptr;
  uintptr_t handle = kHandleBase + kHandleStep * ++handlesIssued_;
  handleGroups_[handle] = named;
  return reinterpret_cast<void*>(handle);
}

bool KeyStore::ExportKey(const void* handle, std::vector<unsigned char>* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = handleGroups_.find(reinterpret_cast<uintptr_t>(handle));
  if (found == handleGroups_.end()) return false;
  *key = groupKeys_[found->second];
  return true;
}

KeyStore& Store() {
  static KeyStore* store = new KeyStore;  // never destroyed; see intern.cc
  return *store;
}

}  // namespace qcf_standin
