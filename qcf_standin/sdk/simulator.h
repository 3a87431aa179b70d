// The simulated key SDK: a session that moves through its stages, settings,
// a login token with a lifetime, and a key store kept in the key file so
// that every process using the same key file shares it.
//
// Stages: loaded -> pre-activated (QCF_PreActivate) -> initialised
// (QCF_Init) -> logged in (QCF_Auth, QCF_Auth_pubkey_WithInfo) -> finished
// (QCF_Finish), from which QCF_PreActivate or QCF_Init start again. A call
// made in a stage that does not allow it is refused with its own code.
//
// One mutex guards the session; it is never held while a handler runs, so
// the handlers, called by the call frame afterwards, may call back in.
#ifndef VARN_QCF_STANDIN_SDK_SIMULATOR_H
#define VARN_QCF_STANDIN_SDK_SIMULATOR_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "errors.h"
#include "key_file.h"
#include "qcf.h"

namespace qcf_standin {

// What a simulated call did: its code, a note for its log line, and a fault
// of the library's own, which goes to the exception handler.
struct Outcome {
  int code = kOk;
  std::string note;
  std::string fault;
};

Outcome Done(std::string note);
Outcome Refused(int code, std::string note = std::string());
Outcome Faulted(int code, std::string fault);

enum class Stage { kLoaded, kPreActivated, kInitialised, kLoggedIn, kFinished };

// Settings the simulator reads (QCF_Custom), with their defaults.
constexpr const char* kLogLevelSetting = "logLevel";  // 0 off, 1 calls,
constexpr uint32_t kDefaultLogLevel = 1;  // 2 also QCF_ErrMessage and version
constexpr const char* kCapacitySetting = "keyTemporaryCapacity";
constexpr uint32_t kDefaultCapacity = 256;
constexpr uint32_t kMaxCapacity = 65536;
constexpr const char* kTokenLifetimeSetting = "tokenValidSeconds";
constexpr uint32_t kDefaultTokenLifetime = 3600;
constexpr const char* kInputCspSetting = "useInputCspInfo";
constexpr const char* kDefaultPin = "40615237";
constexpr uint32_t kDefaultGroupKeyLength = 32;
constexpr uint32_t kMaxRefillCount = 1024;
constexpr int kKeyFileLockTimeoutMs = 10000;

class Simulator {
 public:
  void Reset();
  uint32_t LogLevel();

  // Preparation and session (sim_session.cc).
  Outcome PreActivate();
  Outcome Custom(const char* key, const char* value);
  Outcome SetKeyFilePath(const char* path);
  Outcome Init(const QCF_ServerInfo* server, const QCF_UserInfo* user,
               const QCF_CspInfo* csp);
  Outcome Finish();
  // `server` is null for QCF_Auth, which logs in to the server of QCF_Init.
  Outcome Login(const QCF_ServerInfo* server, char** token,
                uint32_t* validSeconds);
  // A scripted token in place of the login's: the session takes it as its
  // own while logged in. Returns the text to hand out.
  char* AdoptToken(const std::string& token);

  // Filling and refilling (sim_fill.cc).
  Outcome FillKey(const char* serverAddr, uint32_t port,
                  const char* userTokenHandle, const QCF_FillKeyItem* item,
                  const uint32_t* overWriteFlag);
  Outcome ReFillKey(const char* token, uint32_t count, uint32_t keyLen);

  // The security module and groups (sim_keys.cc).
  Outcome GetSpmKeyInfo(const QCF_SpmKeyQuery* query, QCF_SpmKeyInfo* info);
  Outcome CreateGroup(const char* name, uint32_t keyLen, int32_t* cell,
                      const char* note, char* groupId);
  Outcome ApplyKey(const char* first, const char* second, void** keyHandle);
  Outcome ExportKey(const void* keyHandle, int32_t* keyLen, unsigned char* key);
  Outcome Report(const char* spm, const char* publicKey, int32_t port);

 private:
  using Clock = std::chrono::steady_clock;

  // The rest run with mutex_ held.
  uint32_t Setting(const char* key, uint32_t fallback, uint32_t max) const;
  // kOk when the stage allows the call, else the refusal.
  int NeedInitialised() const;
  int NeedLogin() const;
  bool TokenLapsed() const;
  void EndSession(Stage next);

  // Reads the key store under the key file's lock (creating it when the
  // file is missing), runs `body` on it and, when `change` is set and body
  // succeeded, writes it back whole. `undo` runs when that write fails.
  Outcome WithStore(bool change,
                    const std::function<Outcome(KeyStoreData&)>& body,
                    const std::function<void()>& undo = nullptr);

  std::mutex mutex_;
  Stage stage_ = Stage::kLoaded;
  std::map<std::string, std::string> settings_;
  std::string keyFilePath_;
  std::string server_;  // "host:port" of the session
  char* token_ = nullptr;
  // The texts of the last logins' tokens. A token handed out stays readable
  // for the next kTokenSlots - 1 logins, longer than any caller keeps a
  // session's token, while a long run of logins takes no more memory.
  static constexpr size_t kTokenSlots = 16;
  static constexpr size_t kTokenSize = 40;  // "tok-", 32 digits, NUL
  char tokenSlots_[kTokenSlots][kTokenSize] = {};
  size_t nextTokenSlot_ = 0;
  Clock::time_point tokenExpiry_;
  uintptr_t handlesIssued_ = 0;
  // Key handles are opaque numbers, never dereferenced, so any value a
  // caller hands back can be looked up safely.
  std::map<uintptr_t, std::vector<unsigned char>> handles_;
};

Simulator& Sim();

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_SIMULATOR_H
