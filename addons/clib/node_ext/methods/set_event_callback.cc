// setEventCallback and removeEventCallback: JavaScript handlers in the
// instance's event registry.
#include <string>

#include "diagnostics/log_file.h"
#include "events/event_handler.h"
#include "node_ext/arguments.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::setEventCallback(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault =
          firstArgFault(info, 0,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::Function, msg::kSecondFunction}})) {
    return throwArgError(env, fault);
  }
  const std::string name = stringArg(info[0]);
  // Released on return; the registry keeps references of its own.
  Napi::ObjectReference receiver =
      Napi::Persistent(info.This().As<Napi::Object>());
  Napi::FunctionReference callback =
      Napi::Persistent(info[1].As<Napi::Function>());
  writeLog(name.data(), name.size());
  m_eventHandler->addEventHandler(name, receiver, callback);
  writeLog("pEngine->m_eventHandler->addEventHandler");
  // 12 is what this method has always returned; callers compare with it.
  return Napi::Number::New(env, 12);
}

Napi::Value VarnKtPlugin::removeEventCallback(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault =
          firstArgFault(info, 0,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::Function, msg::kSecondFunction, true}})) {
    return throwArgError(env, fault);
  }
  Napi::Function callback;
  bool onlyThis = info.Length() >= 2 && !info[1].IsUndefined();
  if (onlyThis) callback = info[1].As<Napi::Function>();
  bool removed = m_eventHandler->removeEventHandler(
      stringArg(info[0]), onlyThis ? &callback : nullptr);
  return Napi::Boolean::New(env, removed);
}
