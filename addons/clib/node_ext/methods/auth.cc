// auth and auth_pubkey: logging in and keeping the token.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::auth(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  deferred.Resolve(makeResult(env, 0));
  return deferred.Promise();
}

Napi::Value VarnKtPlugin::auth_pubkey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault =
      firstArgFault(info, 3,
                    {{0, JsType::Number, msg::kFirstNumber},
                     {1, JsType::String, msg::kSecondString},
                     {2, JsType::String, msg::kThirdString},
                     {3, JsType::String, msg::kFourthString, true},
                     {4, JsType::Number, msg::kFifthNumber, true}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  deferred.Resolve(makeResult(env, 0));
  return deferred.Promise();
}
