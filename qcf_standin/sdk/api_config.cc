// Preparation of the library: pre-activation, settings, the key file path
// and the two handlers.
#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "handlers.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

extern "C" {

QCF_API int QCF_PreActivate(void) {
  return Guarded<int>(kInternalError, [] {
    CallFrame frame("QCF_PreActivate", {});
    return frame.Answer([&] { return Sim().PreActivate(); });
  });
}

QCF_API int QCF_Custom(const char* key, const char* value) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Custom", {TextArg(key), TextArg(value)});
    return frame.Answer([&] { return Sim().Custom(key, value); });
  });
}

QCF_API int QCF_SetKeyFilePath(const char* path) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_SetKeyFilePath", {TextArg(path)});
    return frame.Answer([&] { return Sim().SetKeyFilePath(path); });
  });
}

// A null handler uninstalls the current one.
QCF_API int QCF_SetLogHandler(QCF_LogHandler handler) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_SetLogHandler", {HandleArg(handler)});
    InstallLogHandler(handler);
    return frame.Finish(Done(""));
  });
}

QCF_API int QCF_SetExceptionHandler(QCF_ExceptionHandler handler) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_SetExceptionHandler", {HandleArg(handler)});
    InstallExceptionHandler(handler);
    return frame.Finish(Done(""));
  });
}

}  // extern "C"
