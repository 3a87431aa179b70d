// Raising SDK exceptions and log lines as events in the registry of every
// live VarnKtPlugin instance. Callable from any thread; the events reach
// JavaScript on a later turn of the event loop, in the order raised.
#ifndef VARN_EVENTS_SDK_EVENTS_H
#define VARN_EVENTS_SDK_EVENTS_H

#include <cstdint>

namespace VarnNode {

// "onCaptureError" with the SDK's exception value and message.
void raiseSdkError(int32_t code, const char *message) noexcept;
// "onCaptureMessage" with an SDK log line.
void raiseSdkMessage(const char *message) noexcept;

}  // namespace VarnNode

#endif  // VARN_EVENTS_SDK_EVENTS_H
