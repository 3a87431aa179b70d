// The in-memory key library behind the default answers: settings, the login
// session and its token, key groups and the keys handed out for them.
#ifndef VARN_QCF_STANDIN_SDK_KEY_STORE_H
#define VARN_QCF_STANDIN_SDK_KEY_STORE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "qcf.h"

namespace qcf_standin {

constexpr uint32_t kTokenValidSeconds = 3600;
constexpr size_t kGroupKeyLength = 32;
constexpr const char* kSdkVersion = "libqcf stand-in 1.0.0";

// The key information record a default query answers with.
QCF_SpmKeyInfo DefaultSpmKeyInfo();

class KeyStore {
 public:
  void Reset();

  void SetSetting(const char* key, const char* value);
  void SetKeyFilePath(const char* path);

  // A login starts or continues the session and returns its token, a text
  // that stays valid for good; `scriptedToken` replaces the session's own.
  char* Login(const std::string* scriptedToken);
  // Ends the session: its token no longer authorises anything.
  void EndSession();
  // kOk when `token` is the current session's token, else the error code.
  int CheckToken(const char* token);

  // Registers a new group and returns its id (shorter than 64 bytes).
  std::string CreateGroup();
  void AddGroup(const std::string& id);
  // A handle for the key of the group that either text names; null when
  // neither names a group.
  void* ApplyKey(const char* first, const char* second);
  // The key bytes behind `handle`; false for a null or unknown handle.
  bool ExportKey(const void* handle, std::vector<unsigned char>* key);

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> settings_;
  std::string keyFilePath_;
  uint32_t session_ = 1;
  const char* token_ = nullptr;  // null while logged out
  uint32_t groupsCreated_ = 0;
  std::map<std::string, std::vector<unsigned char>> groupKeys_;
  uintptr_t handlesIssued_ = 0;
  // Handles are opaque numbers, never dereferenced, so any pointer a caller
  // hands back can be checked safely.
  std::map<uintptr_t, std::string> handleGroups_;
};

KeyStore& Store();

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_KEY_STORE_H
