// init and finish: setting the SDK up for a key server and shutting it down.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::init(const Napi::CallbackInfo &info) {
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
  deferred.Resolve(makeResult(env, 0, msg::kInitSuccess));
  return deferred.Promise();
}

Napi::Value VarnKtPlugin::finish(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  return Napi::Number::New(env, 0);
}
