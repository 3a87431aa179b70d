#include "recorder.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

#include "thread_id.h"

namespace qcf_standin {
namespace {

struct Call {
  std::string name;
  std::vector<Arg> args;
  uint64_t thread = 0;
};

struct CallLog {
  std::mutex mutex;
  // A deque keeps recorded calls in place while later ones are added, so
  // the pointers handed out by CallName and CallArg stay valid.
  std::deque<Call> calls;
};

std::atomic<bool> g_recording{true};

CallLog& Log() {
  static CallLog* log = new CallLog;  // never destroyed; see intern.cc
  return *log;
}

}  // namespace

Arg NullArg() { return Arg{}; }

Arg TextArg(const char* text) {
  if (!text) return NullArg();
  Arg arg;
  arg.kind = QCFCTL_ARG_TEXT;
  arg.bytes.assign(text, std::strlen(text));
  return arg;
}

Arg NumberArg(double value) {
  Arg arg;
  arg.kind = QCFCTL_ARG_NUMBER;
  arg.number = value;
  return arg;
}

Arg BytesArg(const void* data, size_t size) {
  if (!data) return NullArg();
  Arg arg;
  arg.kind = QCFCTL_ARG_BYTES;
  arg.bytes.assign(static_cast<const char*>(data), size);
  return arg;
}

Arg HandleArg(bool notNull) {
  Arg arg;
  arg.kind = QCFCTL_ARG_HANDLE;
  arg.number = notNull ? 1 : 0;
  return arg;
}

void RecordCall(const char* name, std::vector<Arg> args) {
  if (!g_recording.load(std::memory_order_relaxed)) return;
  Call call{name ? name : "", std::move(args), CurrentThreadId()};
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.calls.push_back(std::move(call));
}

void SetRecording(bool enabled) { g_recording = enabled; }

void ClearCalls() {
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.calls.clear();
}

size_t CallCount() {
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  return log.calls.size();
}

const char* CallName(size_t call) {
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  return call < log.calls.size() ? log.calls[call].name.c_str() : nullptr;
}

size_t CallArgc(size_t call) {
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  return call < log.calls.size() ? log.calls[call].args.size() : 0;
}

int CallArg(size_t call, size_t arg, const unsigned char** data, size_t* size,
            double* number) {
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (call >= log.calls.size() || arg >= log.calls[call].args.size()) {
    return -1;
  }
  const Arg& found = log.calls[call].args[arg];
  if (data) {
    *data = reinterpret_cast<const unsigned char*>(found.bytes.data());
  }
  if (size) *size = found.bytes.size();
  if (number) *number = found.number;
  return found.kind;
}

uint64_t CallThread(size_t call) {
  CallLog& log = Log();
  std::lock_guard<std::mutex> lock(log.mutex);
  return call < log.calls.size() ? log.calls[call].thread : 0;
}

}  // namespace qcf_standin
