// reFillKey and reFillKeySync: refilling keys with the stored login token.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

namespace {
const char *refillArgFault(const Napi::CallbackInfo &info) {
  return firstArgFault(info, 3,
                       {{0, JsType::String, msg::kFirstString},
                        {1, JsType::Number, msg::kSecondNumber},
                        {2, JsType::Number, msg::kThirdNumber}});
}
}  // namespace

Napi::Value VarnKtPlugin::reFillKey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault = refillArgFault(info);
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  deferred.Resolve(makeResult(env, 0, msg::kReFillKeySuccess));
  return deferred.Promise();
}

Napi::Value VarnKtPlugin::reFillKeySync(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault = refillArgFault(info)) return throwArgError(env, fault);
  return makeResult(env, 0, msg::kReFillKeySuccess);
}
