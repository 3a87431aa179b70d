// fillKey and fillKeySync: filling keys into a soft key.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::fillKey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  if (rejectIf(deferred, info.Length() != 1, msg::kExpectedOneArgument, env,
               -1) ||
      rejectIf(deferred, !hasType(info[0], JsType::Object),
               msg::kExpectedObject, env, -1)) {
    return deferred.Promise();
  }
  deferred.Resolve(makeResult(env, 0, msg::kFillKeySuccess));
  return deferred.Promise();
}

Napi::Value VarnKtPlugin::fillKeySync(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (info.Length() != 1) {
    return throwArgTypeError(env, msg::kExpectedOneArgument);
  }
  if (!hasType(info[0], JsType::Object)) {
    return throwArgTypeError(env, msg::kExpectedObject);
  }
  return Napi::Number::New(env, 0);
}
