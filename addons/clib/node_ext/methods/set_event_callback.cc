// setEventCallback: a JavaScript handler in the instance's event registry.
#include <string>

#include "diagnostics/log_file.h"
#include "events/event_handler.h"
#include "node_ext/conventions.h"
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
  return Napi::Number::New(env, 12);
}
