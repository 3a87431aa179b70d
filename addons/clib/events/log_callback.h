// The process-wide log callback and the two handlers installed in the SDK.
#ifndef VARN_EVENTS_LOG_CALLBACK_H
#define VARN_EVENTS_LOG_CALLBACK_H

#include <napi.h>

#include "events/callback_ref.h"

namespace VarnNode {

// The one registered log callback, or null. JavaScript thread only.
extern callback_ref *g_logCallback;

// Replaces the registration with `function` called on `receiver`.
void registerLogCallback(const Napi::Function &function,
                         const Napi::Object &receiver);

// Ends log delivery to JavaScript; safe to call when nothing is registered.
void releaseLogCallback();

// Installed in the SDK by preActivate.
extern "C" void sdkLogHandler(const char *message);
extern "C" void sdkExceptionHandler(int value, const char *message);

}  // namespace VarnNode

#endif  // VARN_EVENTS_LOG_CALLBACK_H
