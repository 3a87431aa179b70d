// setLogCallback and setEventCallback: JavaScript functions the add-on calls.
#include "events/log_callback.h"
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::setLogCallback(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  // No instance check: the registration is process-wide.
  if (const char *fault =
          firstArgFault(info, 1, {{0, JsType::Function, msg::kFirstFunction}})) {
    return throwArgError(env, fault);
  }
  registerLogCallback(info[0].As<Napi::Function>(),
                      info.This().As<Napi::Object>());
  return Napi::Number::New(env, 0);
}

Napi::Value VarnKtPlugin::setEventCallback(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault =
          firstArgFault(info, 0,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::Function, msg::kSecondFunction}})) {
    return throwArgError(env, fault);
  }
  return Napi::Number::New(env, 12);
}
