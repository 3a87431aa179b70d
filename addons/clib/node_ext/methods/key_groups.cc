// createGroup and applyKeyWithGroupID: key groups and their shared key.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::createGroup(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault =
      firstArgFault(info, 3,
                    {{0, JsType::String, msg::kFirstString},
                     {1, JsType::Number, msg::kSecondNumber},
                     {2, JsType::String, msg::kThirdString}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  deferred.Resolve(makeResult(env, 0));
  return deferred.Promise();
}

Napi::Value VarnKtPlugin::applyKeyWithGroupID(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault =
      firstArgFault(info, 2,
                    {{0, JsType::String, msg::kFirstString},
                     {1, JsType::String, msg::kSecondString}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  deferred.Resolve(makeResult(env, 0));
  return deferred.Promise();
}
