// Preparation of the library: pre-activation, settings, the key file path
// and the two handlers.
#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "handlers.h"
#include "key_store.h"
#include "mode.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

extern "C" {

QCF_API int QCF_PreActivate(void) {
  return Guarded<int>(kInternalError, [] {
    CallFrame frame("QCF_PreActivate", {});
    if (Simulating())
      return frame.Simulate([&] { return Sim().PreActivate(); });
    return frame.Finish(kOk, kLogLine);
  });
}

QCF_API int QCF_Custom(const char* key, const char* value) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Custom", {TextArg(key), TextArg(value)});
    if (Simulating())
      return frame.Simulate([&] { return Sim().Custom(key, value); });
    if (!key || !value) return frame.Finish(kInvalidArgument, kNoLogLine);
    Store().SetSetting(key, value);
    return frame.Finish(kOk, kNoLogLine);
  });
}

QCF_API int QCF_SetKeyFilePath(const char* path) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_SetKeyFilePath", {TextArg(path)});
    if (Simulating())
      return frame.Simulate([&] { return Sim().SetKeyFilePath(path); });
    if (!path) return frame.Finish(kInvalidArgument, kNoLogLine);
    Store().SetKeyFilePath(path);
    return frame.Finish(kOk, kNoLogLine);
  });
}

// A null handler uninstalls the current one.
QCF_API int QCF_SetLogHandler(QCF_LogHandler handler) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_SetLogHandler", {HandleArg(handler)});
    InstallLogHandler(handler);
    if (Simulating()) return frame.FinishSimulated(Done(""));
    return frame.Finish(kOk, kNoLogLine);
  });
}

QCF_API int QCF_SetExceptionHandler(QCF_ExceptionHandler handler) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_SetExceptionHandler", {HandleArg(handler)});
    InstallExceptionHandler(handler);
    if (Simulating()) return frame.FinishSimulated(Done(""));
    return frame.Finish(kOk, kNoLogLine);
  });
}

}  // extern "C"
