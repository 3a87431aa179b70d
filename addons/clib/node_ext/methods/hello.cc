#include "node_ext/arguments.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::hello(const Napi::CallbackInfo &info) {
  if (instanceMissing(info))
    return throwArgError(info.Env(), msg::kInstanceNull);
  // No check of its own: a non-string makes the string read throw.
  std::string text = info[0].As<Napi::String>().Utf8Value();
  return Napi::String::New(info.Env(), text + " world");
}
