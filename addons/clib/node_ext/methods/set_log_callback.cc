// setLogCallback: the process-wide JavaScript receiver of SDK log lines.
#include "events/log_callback.h"
#include "node_ext/arguments.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::setLogCallback(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  // No instance check: the registration is process-wide.
  if (const char *fault = firstArgFault(
          info, 1, {{0, JsType::Function, msg::kFirstFunction}})) {
    return throwArgError(env, fault);
  }
  Napi::Object receiver = info.This().As<Napi::Object>();
  // The instance behind `this`, if any, owns the registration; `this` may
  // be any object.
  void *owner = nullptr;
  if (napi_unwrap(env, receiver, &owner) != napi_ok) owner = nullptr;
  registerLogCallback(info[0].As<Napi::Function>(), receiver, owner);
  return Napi::Number::New(env, 0);
}
