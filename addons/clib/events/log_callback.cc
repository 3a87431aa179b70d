#include "events/log_callback.h"

#include <string>
#include <utility>
#include <vector>

#include "diagnostics/log_file.h"
#include "events/js_thread.h"
#include "events/loop_async_resource.h"
#include "events/node_async_call.h"
#include "events/sdk_events.h"

namespace VarnNode {

callback_ref *g_logCallback = nullptr;

namespace {

// Deliveries in progress on the JavaScript thread. A callback may release
// the registration it runs under (finish, setLogCallback, or the collection
// of an instance); while a delivery is in progress released registrations
// are parked here and deleted once the outermost delivery has returned.
int deliveryDepth = 0;
std::vector<callback_ref *> retired;

// The async resource of deliveries from the dispatcher. Never destroyed: it
// lives as long as the environment, which ends with the process.
loop_async_resource &loopResource() {
  static auto *resource = new loop_async_resource("VarnKtPluginLog");
  return *resource;
}

void dropPendingException(Napi::Env env) noexcept {
  try {
    if (env.IsExceptionPending()) env.GetAndClearPendingException();
  } catch (...) {
  }
}

// Calls `function` with `text` and `this` undefined; whatever it throws is
// taken and dropped here, so it never reaches the SDK or our caller.
void callDroppingErrors(Napi::Env env, const Napi::FunctionReference &function,
                        const Napi::String &text) noexcept {
  try {
    function.Call(env.Undefined(), {text});
  } catch (...) {
    // A throwing callback arrives here as a Napi::Error, which has already
    // taken the exception off the environment.
  }
  dropPendingException(env);
}

// `fromLoop`: called from a dispatcher job, with no native call of ours on
// the stack. A callback scope then makes the host run the microtasks and
// ticks the callback queued, as it does after any callback from native code.
void callRegistration(callback_ref &registration, const std::string &message,
                      bool fromLoop) noexcept {
  Napi::Env env = registration.receiver.Env();
  try {
    Napi::HandleScope scope(env);
    Napi::String text = Napi::String::New(env, message);
    if (fromLoop) {
      napi_callback_scope callbacks = nullptr;
      if (!loopResource().openScope(env, &callbacks)) return;
      Napi::CallbackScope callbackScope(env, callbacks);
      callDroppingErrors(env, registration.callback, text);
    } else {
      callDroppingErrors(env, registration.callback, text);
    }
  } catch (...) {
    // The string or the scopes could not be made: the line is dropped.
  }
  dropPendingException(env);
}

void deliver(const std::string &message, bool fromLoop) noexcept {
  callback_ref *registration = g_logCallback;
  if (registration == nullptr) return;
  ++deliveryDepth;
  callRegistration(*registration, message, fromLoop);
  if (--deliveryDepth == 0) {
    std::vector<callback_ref *> done;
    done.swap(retired);
    for (callback_ref *old : done) delete old;
  }
}

void postLogLine(std::string message) {
  node_async_call::instance().post(
      [text = std::move(message)]() { deliver(text, true); });
}

// True when JavaScript may be called right here: a registration exists and
// its environment has no exception pending (calling then would swallow an
// exception that belongs to our caller).
bool canCallNow() {
  if (g_logCallback == nullptr) return false;
  Napi::Env env = g_logCallback->receiver.Env();
  return !env.IsExceptionPending();
}

}  // namespace

void registerLogCallback(const Napi::Function &function,
                         const Napi::Object &receiver) {
  auto *fresh = new callback_ref(function, receiver);
  releaseLogCallback();
  g_logCallback = fresh;
}

void releaseLogCallback() {
  callback_ref *old = g_logCallback;
  g_logCallback = nullptr;
  if (old == nullptr) return;
  if (deliveryDepth > 0) {
    retired.push_back(old);
  } else {
    delete old;
  }
}

extern "C" void sdkLogHandler(const char *message) {
  const char *text = message != nullptr ? message : "";
  writeLog(text);
  try {
    raiseSdkMessage(text);
    if (!onJsThread()) {
      // Never touch JavaScript here; the dispatcher runs the delivery on the
      // JavaScript thread.
      postLogLine(text);
    } else if (g_logCallback != nullptr) {
      if (canCallNow()) {
        deliver(text, false);
      } else {
        postLogLine(text);
      }
    }
  } catch (...) {
    // Nothing may unwind into the SDK.
  }
}

extern "C" void sdkExceptionHandler(int value, const char *message) {
  const char *text = message != nullptr ? message : "";
  writeLog(text);
  try {
    raiseSdkError(value, text);
  } catch (...) {
  }
}

}  // namespace VarnNode
