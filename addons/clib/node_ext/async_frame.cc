#include "node_ext/async_frame.h"

namespace VarnNode {
namespace detail {
namespace {

void emptyBody(const Napi::CallbackInfo &) {}

}  // namespace

Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName) {
  // The JavaScript side is never called; the completion does all the work.
  // A function from a plain callback carries no data, so node-addon-api
  // attaches no finalizer to it (a lambda's copy would need one per call).
  Napi::Function unused = Napi::Function::New<emptyBody>(env);
  return Napi::ThreadSafeFunction::New(env, unused, resourceName, 0, 1);
}

}  // namespace detail
}  // namespace VarnNode
