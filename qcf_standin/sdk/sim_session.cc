// The simulator's preparation, stages and login.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "field_text.h"
#include "intern.h"
#include "random_source.h"
#include "simulator.h"

namespace qcf_standin {
namespace {

constexpr uintptr_t kNoHandles = 0;

// "host:port" of a server record; empty when its host or port is missing.
std::string ServerOf(const QCF_ServerInfo& server) {
  const std::string host = FieldText(server.host);
  if (host.empty() || server.port == 0) return std::string();
  return host + ":" + std::to_string(server.port);
}

}  // namespace

Outcome Done(std::string note) { return Outcome{kOk, std::move(note), {}}; }

Outcome Refused(int code, std::string note) {
  return Outcome{code, std::move(note), {}};
}

Outcome Faulted(int code, std::string fault) {
  return Outcome{code, fault, fault};
}

void Simulator::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  stage_ = Stage::kLoaded;
  settings_.clear();
  keyFilePath_.clear();
  server_.clear();
  EndSession(Stage::kLoaded);
  handlesIssued_ = kNoHandles;
}

uint32_t Simulator::LogLevel() {
  std::lock_guard<std::mutex> lock(mutex_);
  return Setting(kLogLevelSetting, kDefaultLogLevel, UINT32_MAX);
}

// A number setting; an unset or unreadable value gives `fallback`, a larger
// one `max`.
uint32_t Simulator::Setting(const char* key, uint32_t fallback,
                            uint32_t max) const {
  auto found = settings_.find(key);
  if (found == settings_.end()) return fallback;
  const std::string& text = found->second;
  if (text.empty() ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return fallback;
  }
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  return value > max ? max : static_cast<uint32_t>(value);
}

int Simulator::NeedInitialised() const {
  if (stage_ == Stage::kInitialised || stage_ == Stage::kLoggedIn) return kOk;
  return kNotInitialised;
}

int Simulator::NeedLogin() const {
  if (stage_ == Stage::kLoggedIn) return kOk;
  return stage_ == Stage::kInitialised ? kNotLoggedIn : kNotInitialised;
}

bool Simulator::TokenLapsed() const { return Clock::now() >= tokenExpiry_; }

void Simulator::EndSession(Stage next) {
  stage_ = next;
  token_ = nullptr;
  handles_.clear();
}

Outcome Simulator::PreActivate() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stage_ == Stage::kLoaded || stage_ == Stage::kFinished) {
    stage_ = Stage::kPreActivated;
  }
  return Done("pre-activated");
}

Outcome Simulator::Custom(const char* key, const char* value) {
  if (!key || !value || !*key) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  settings_[key] = value;
  return Done(std::string(key) + "=" + value);
}

Outcome Simulator::SetKeyFilePath(const char* path) {
  if (!path) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  keyFilePath_ = path;
  if (keyFilePath_.empty()) return Refused(kNoKeyFile);
  return Done(keyFilePath_);
}

Outcome Simulator::Init(const QCF_ServerInfo* server, const QCF_UserInfo* user,
                        const QCF_CspInfo* csp) {
  if (!server || !user || !csp) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stage_ == Stage::kLoaded) return Refused(kNotActivated);
  const std::string address = ServerOf(*server);
  if (address.empty()) return Refused(kBadServer);
  auto inputCsp = settings_.find(kInputCspSetting);
  if (inputCsp != settings_.end() && inputCsp->second == "true" &&
      FieldText(csp->pin) != kDefaultPin) {
    return Refused(kWrongPin, "the PIN of the CSP record");
  }
  // Opening the key store (creating it the first time) proves the key
  // file usable before any key operation relies on it.
  Outcome opened = WithStore(false, [](KeyStoreData&) { return Done(""); });
  if (opened.code != kOk) return opened;
  EndSession(Stage::kInitialised);
  server_ = address;
  return Done("server " + address + ", key file " + keyFilePath_);
}

Outcome Simulator::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedInitialised();
  if (allowed != kOk) return Refused(allowed);
  EndSession(Stage::kFinished);
  return Done("finished");
}

Outcome Simulator::Login(const QCF_ServerInfo* server, char** token,
                         uint32_t* validSeconds) {
  if (!token || !validSeconds) return Refused(kInvalidArgument);
  std::lock_guard<std::mutex> lock(mutex_);
  const int allowed = NeedInitialised();
  if (allowed != kOk) return Refused(allowed);
  std::string address = server_;
  if (server) {
    address = ServerOf(*server);
    if (address.empty()) return Refused(kBadServer);
  }
  const std::string random = RandomHex(16);
  if (random.empty()) {
    return Faulted(kRandomFailed, "no random bytes for a login token");
  }
  const uint32_t lifetime =
      Setting(kTokenLifetimeSetting, kDefaultTokenLifetime, UINT32_MAX);
  server_ = address;
  token_ = tokenSlots_[nextTokenSlot_++ % kTokenSlots];
  std::snprintf(token_, kTokenSize, "tok-%s", random.c_str());
  tokenExpiry_ = Clock::now() + std::chrono::seconds(lifetime);
  stage_ = Stage::kLoggedIn;
  *token = token_;
  *validSeconds = lifetime;
  return Done("logged in to " + address + ", token valid for " +
              std::to_string(lifetime) + " s");
}

char* Simulator::AdoptToken(const std::string& token) {
  std::lock_guard<std::mutex> lock(mutex_);
  char* text = InternText(token);
  if (stage_ == Stage::kLoggedIn) token_ = text;
  return text;
}

}  // namespace qcf_standin
