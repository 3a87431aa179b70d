// The process-wide log callback and the two handlers installed in the SDK.
#ifndef VARN_EVENTS_LOG_CALLBACK_H
#define VARN_EVENTS_LOG_CALLBACK_H

#include <napi.h>

#include "events/callback_ref.h"

namespace VarnNode {

// The one registered log callback, or null. JavaScript thread only; change
// it through the two functions below.
extern callback_ref *g_logCallback;

// Replaces the registration with `function` called on `receiver`. A failure
// to create the references throws and leaves the old registration in force.
void registerLogCallback(const Napi::Function &function,
                         const Napi::Object &receiver);

// Ends log delivery to JavaScript; safe to call when nothing is registered,
// and from inside the callback itself (the change takes effect from the next
// message).
void releaseLogCallback();

// Installed in the SDK by preActivate; callable on any thread, never throw.
//
// sdkLogHandler writes the line to the log file, raises it as an event, and
// hands it to the registered callback: synchronously when called on the
// JavaScript thread, otherwise through the dispatcher, whose job delivers it
// to whatever callback is registered when the job runs.
extern "C" void sdkLogHandler(const char *message);
// Writes the message to the log file and raises it as an event.
extern "C" void sdkExceptionHandler(int value, const char *message);

}  // namespace VarnNode

#endif  // VARN_EVENTS_LOG_CALLBACK_H
