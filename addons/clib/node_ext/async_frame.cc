#include "node_ext/async_frame.h"

#include "events/loop_call.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace detail {
namespace {

void emptyBody(const Napi::CallbackInfo &) {}

// Settlements from the SDK thread open their callback scopes under it.
// Never destroyed: it lives as long as the environment.
loop_async_resource &settleResource() {
  static auto *resource = new loop_async_resource("VarnKtPluginCall");
  return *resource;
}

}  // namespace

Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName) {
  // The JavaScript side is never called; the completion does all the work.
  // A function from a plain callback carries no data, so node-addon-api
  // attaches no finalizer to it (a lambda's copy would need one per call).
  Napi::Function unused = Napi::Function::New<emptyBody>(env);
  return Napi::ThreadSafeFunction::New(env, unused, resourceName, 0, 1);
}

void queueOnSdkThread(napi_env env, std::function<void()> sdkHalf,
                      std::function<void(Napi::Env)> settleHalf) {
  node_async_call &dispatcher = node_async_call::instance();
  dispatcher.hold();
  try {
    queueSdkCall([env, sdkHalf = std::move(sdkHalf),
                  settleHalf = std::move(settleHalf)]() mutable {
      sdkHalf();
      node_async_call::instance().post(
          [env, settleHalf = std::move(settleHalf)] {
            callFromLoop(env, settleResource(), settleHalf);
            node_async_call::instance().release();
          });
    });
  } catch (...) {
    dispatcher.release();
    throw;
  }
}

}  // namespace detail
}  // namespace VarnNode
