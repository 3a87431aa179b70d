#include "events/log_callback.h"

#include "diagnostics/log_file.h"

namespace VarnNode {

callback_ref *g_logCallback = nullptr;

void registerLogCallback(const Napi::Function &function,
                         const Napi::Object &receiver) {
  releaseLogCallback();
  g_logCallback = new callback_ref(function, receiver);
}

void releaseLogCallback() {
  delete g_logCallback;
  g_logCallback = nullptr;
}

extern "C" void sdkLogHandler(const char *message) {
  writeLog(message);
}

extern "C" void sdkExceptionHandler(int, const char *message) {
  writeLog(message);
}

}  // namespace VarnNode
