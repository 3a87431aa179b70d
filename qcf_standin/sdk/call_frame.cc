#include "call_frame.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

#include "errors.h"
#include "handlers.h"

namespace qcf_standin {

namespace {

// Every function of the library, and whether it would talk to the key
// server or change the session: those wait out the call delay. The setters
// and the text look-ups answer at once.
struct Function {
  const char* name;
  bool delayed;
};
constexpr Function kFunctions[] = {
    {"QCF_PreActivate", true},
    {"QCF_Custom", false},
    {"QCF_SetKeyFilePath", false},
    {"QCF_SetLogHandler", false},
    {"QCF_SetExceptionHandler", false},
    {"QCF_Init", true},
    {"QCF_Finish", true},
    {"QCF_Auth", true},
    {"QCF_Auth_pubkey_WithInfo", true},
    {"QCF_FillKey_WithPubkey", true},
    {"QCF_ReFillKey", true},
    {"QCF_GetSPMKeyInfo", true},
    {"QCF_CreateGroup", true},
    {"QCF_ApplyKeyWithGroupID", true},
    {"QCF_ExportKey", true},
    {"QCF_ReportSPMWithSignPubkey", true},
    {"QCF_ErrMessage", false},
    {"QCF_GetSDKVersion", false},
};

const Function* FindFunction(const char* name) {
  for (const Function& function : kFunctions) {
    if (std::strcmp(name, function.name) == 0) return &function;
  }
  return nullptr;
}

bool IsDelayed(const char* name) {
  const Function* function = FindFunction(name);
  return function && function->delayed;
}

constexpr const char* kDelayVariable = "QCF_STANDIN_DELAY_MS";

// Decimal digits only, cut to the maximum (which also keeps a long run of
// digits from overflowing); anything else means 0.
uint32_t ParseDelay(const char* text) {
  if (!text || !*text) return 0;
  uint64_t value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(*c - '0'),
                               kMaxCallDelayMs);
  }
  return static_cast<uint32_t>(value);
}

// Read once, at the first call that asks.
uint32_t EnvironmentDelay() {
  static const uint32_t delay = [] {
#ifdef _MSC_VER
    char* text = nullptr;
    size_t size = 0;
    if (_dupenv_s(&text, &size, kDelayVariable) != 0) return 0u;
    const uint32_t value = ParseDelay(text);
    std::free(text);
    return value;
#else
    return ParseDelay(std::getenv(kDelayVariable));
#endif
  }();
  return delay;
}

// The delay set through SetCallDelay, or -1 for the environment's.
std::atomic<int64_t> setDelay{-1};

// At least `milliseconds` by the steady clock, however early a sleep wakes.
void Wait(uint32_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(milliseconds);
  for (Clock::time_point now = Clock::now(); now < deadline;
       now = Clock::now()) {
    std::this_thread::sleep_for(deadline - now);
  }
}

}  // namespace

const char* FunctionName(size_t index) {
  return index < std::size(kFunctions) ? kFunctions[index].name : nullptr;
}

bool IsFunctionName(const char* name) {
  return name && FindFunction(name) != nullptr;
}

uint32_t CallDelay() {
  const int64_t set = setDelay.load();
  return set >= 0 ? static_cast<uint32_t>(set) : EnvironmentDelay();
}

void SetCallDelay(uint32_t milliseconds) {
  setDelay.store(std::min(milliseconds, kMaxCallDelayMs));
}

void ResetCallDelay() { setDelay.store(-1); }

CallFrame::CallFrame(const char* name, std::vector<Arg> args) : name_(name) {
  RecordCall(name, std::move(args));
  script_ = TakeScript(name);
  if (script_) EmitAll(script_->emissions);
  // The wait holds no lock of the library: calls on other threads are
  // recorded, scripted and answered meanwhile, and concurrent delayed calls
  // wait side by side, so that N of them together take about one delay
  // before their work, which is then ordered as it would be without one. A
  // change of the delay applies to calls that start waiting afterwards.
  const uint32_t delay = CallDelay();
  if (delay > 0 && IsDelayed(name)) Wait(delay);
}

int CallFrame::Finish(const Outcome& outcome, uint32_t level) {
  const int code = script_ && script_->code ? *script_->code : outcome.code;
  if (!outcome.fault.empty()) {
    Emission fault;
    fault.kind = kEmitException;
    fault.value = outcome.code;
    fault.message = std::string(name_) + ": " + outcome.fault;
    Emit(fault);
  }
  if (Sim().LogLevel() < level) return code;
  std::string line = name_;
  if (code == kOk) {
    line += ": ok";
  } else {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    line += std::string(": error 0x") + hex + ": " + ErrorText(code);
  }
  if (!outcome.note.empty()) line += " (" + outcome.note + ")";
  EmitLog(line.c_str());
  return code;
}

}  // namespace qcf_standin
