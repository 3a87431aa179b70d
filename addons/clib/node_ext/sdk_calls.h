// Where SDK calls run. By default on the JavaScript thread, inside the
// method or completion that makes them. With the SDK thread on, every SDK
// call runs on one long-lived thread of the add-on's own instead, one at a
// time and in call order, and the JavaScript thread never waits for a
// promise method's call.
//
// A call given to these functions is an SDK half: it may call the SDK, read
// and write the login state and log, but must not touch Node-API.
#ifndef VARN_NODE_EXT_SDK_CALLS_H
#define VARN_NODE_EXT_SDK_CALLS_H

#include <functional>

namespace VarnNode {

bool sdkThreadEnabled() noexcept;

// Turns the SDK thread on or off; starts it when turned on. Returns null, or
// the reason for a refusal: the mode cannot change once an SDK call has been
// made. Throws std::system_error when the thread cannot be started.
const char *setSdkThreadEnabled(bool enabled);

// Runs `call` and returns when it has: here, with the log lines it raises
// here held until it returns (held_log_lines), or on the SDK thread.
void runSdkCall(const std::function<void()> &call);

// SDK thread on only: queues `call` behind the calls before it and returns.
void queueSdkCall(std::function<void()> call);

// At process exit: ends the SDK thread once its current call returns. Later
// SDK calls run on the calling thread.
void stopSdkThread();

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_SDK_CALLS_H
