// Raising SDK exceptions and log lines as events in the registry of every
// live VarnKtPlugin instance. Callable from any thread.
#ifndef VARN_EVENTS_SDK_EVENTS_H
#define VARN_EVENTS_SDK_EVENTS_H

#include <cstdint>

namespace VarnNode {

// "onCaptureError" with the SDK's exception value and message.
void raiseSdkError(int32_t code, const char *message);
// "onCaptureMessage" with an SDK log line.
void raiseSdkMessage(const char *message);

}  // namespace VarnNode

#endif  // VARN_EVENTS_SDK_EVENTS_H
