// preActivate: SDK handlers, start-up settings, defaults and key file path.
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::preActivate(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault =
          firstArgFault(info, 1,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::String, msg::kSecString, true}})) {
    return throwArgError(env, fault);
  }
  return Napi::Number::New(env, 0);
}
