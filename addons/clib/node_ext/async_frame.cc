#include "node_ext/async_frame.h"

namespace VarnNode {
namespace detail {

Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName) {
  // The JavaScript side is never called; the completion does all the work.
  Napi::Function unused = Napi::Function::New(env, [](const Napi::CallbackInfo &) {});
  return Napi::ThreadSafeFunction::New(env, unused, resourceName, 0, 1);
}

}  // namespace detail
}  // namespace VarnNode
