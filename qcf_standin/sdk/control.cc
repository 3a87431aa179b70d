// The test control interface of qcf_control.h over the recorder, the scripts
// and the handlers.
#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "handlers.h"
#include "qcf_control.h"
#include "recorder.h"
#include "script.h"
#include "simulator.h"
#include "thread_id.h"

using namespace qcf_standin;

namespace {

Emission MakeEmission(int kind, int value, const char* message,
                      bool ownThread) {
  Emission emission;
  emission.kind = kind == kEmitException ? kEmitException : kEmitLog;
  emission.value = value;
  emission.hasMessage = message != nullptr;
  if (message) emission.message = message;
  emission.ownThread = ownThread;
  return emission;
}

}  // namespace

extern "C" {

QCF_API void qcfctl_reset(int flags) {
  GuardedVoid([&] {
    ClearCalls();
    ClearScripts();
    Sim().Reset();
    if (flags & QCFCTL_RESET_DROP_HANDLERS) DropHandlers();
    SetRecording(true);
    ResetCallDelay();
  });
}

QCF_API void qcfctl_clear_calls(void) {
  GuardedVoid([] { ClearCalls(); });
}

QCF_API int qcfctl_is_function(const char* name) {
  return Guarded<int>(0, [&] { return IsFunctionName(name) ? 1 : 0; });
}

QCF_API const char* qcfctl_function_name(size_t index) {
  return Guarded<const char*>(nullptr, [&] { return FunctionName(index); });
}

QCF_API void qcfctl_set_recording(int enabled) {
  GuardedVoid([&] { SetRecording(enabled != 0); });
}

QCF_API void qcfctl_set_delay(uint32_t milliseconds) {
  GuardedVoid([&] { SetCallDelay(milliseconds); });
}

QCF_API size_t qcfctl_call_count(void) {
  return Guarded<size_t>(0, [] { return CallCount(); });
}

QCF_API const char* qcfctl_call_name(size_t call) {
  return Guarded<const char*>(nullptr, [&] { return CallName(call); });
}

QCF_API size_t qcfctl_call_argc(size_t call) {
  return Guarded<size_t>(0, [&] { return CallArgc(call); });
}

QCF_API int qcfctl_call_arg(size_t call, size_t arg, const unsigned char** data,
                            size_t* size, double* number) {
  return Guarded<int>(-1,
                      [&] { return CallArg(call, arg, data, size, number); });
}

QCF_API uint64_t qcfctl_call_thread(size_t call) {
  return Guarded<uint64_t>(0, [&] { return CallThread(call); });
}

QCF_API uint64_t qcfctl_thread_id(void) {
  return Guarded<uint64_t>(0, [] { return CurrentThreadId(); });
}

QCF_API void qcfctl_script_begin(const char* name, int times) {
  GuardedVoid([&] { BeginScript(name, times); });
}

QCF_API void qcfctl_script_code(int code) {
  GuardedVoid([&] { SetScriptCode(code); });
}

QCF_API void qcfctl_script_bytes(const void* data, size_t size, int isNull) {
  GuardedVoid([&] { SetScriptBytes(data, size, isNull != 0); });
}

QCF_API void qcfctl_script_number(int64_t value) {
  GuardedVoid([&] { SetScriptNumber(value); });
}

QCF_API void qcfctl_script_null_handle(void) {
  GuardedVoid([] { SetScriptNullHandle(); });
}

QCF_API void qcfctl_script_emit(int kind, int value, const char* message,
                                int ownThread) {
  GuardedVoid([&] {
    AddScriptEmission(MakeEmission(kind, value, message, ownThread != 0));
  });
}

QCF_API void qcfctl_script_end(void) {
  GuardedVoid([] { EndScript(); });
}

QCF_API void qcfctl_emit_async(int kind, int value, const char* message,
                               int threads, int count, int wait) {
  GuardedVoid([&] {
    StartAsyncEmitters(MakeEmission(kind, value, message, false), threads,
                       count, wait != 0);
  });
}

QCF_API void qcfctl_join_threads(void) {
  GuardedVoid([] { JoinAsyncEmitters(); });
}

QCF_API const char* qcfctl_error_text(int code) {
  return Guarded<const char*>("", [&] { return ErrorText(code); });
}

}  // extern "C"
