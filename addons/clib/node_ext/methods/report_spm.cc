// reportSPMWithSignPubkey: reporting the security module with its signing
// public key.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::reportSPMWithSignPubkey(
    const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault =
      firstArgFault(info, 3,
                    {{0, JsType::String, msg::kFirstString},
                     {1, JsType::String, msg::kSecString},
                     {2, JsType::Number, msg::kThirdNumber}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  deferred.Resolve(makeResult(env, 0));
  return deferred.Promise();
}
