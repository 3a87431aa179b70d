// VarnKtPlugin.configure: process-wide options of the add-on.
#include <system_error>

#include "node_ext/arguments.h"
#include "node_ext/messages.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/varn_kt_plugin.h"

using namespace VarnNode;

// configure({ sdkThread }) sets what is given and returns every option's
// value; configure() only reads them.
Napi::Value VarnKtPlugin::configure(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (info.Length() >= 1 && !info[0].IsUndefined()) {
    if (!hasType(info[0], JsType::Object)) {
      return throwArgTypeError(env, msg::kExpectedObject);
    }
    Napi::Object options = info[0].As<Napi::Object>();
    Napi::Value sdkThread = options.Get("sdkThread");
    if (!sdkThread.IsUndefined()) {
      if (!sdkThread.IsBoolean()) {
        return throwArgTypeError(env, msg::kSdkThreadOption);
      }
      const char *refused = nullptr;
      try {
        refused = setSdkThreadEnabled(sdkThread.As<Napi::Boolean>());
      } catch (const std::system_error &error) {
        return throwArgError(env, error.what());
      }
      if (refused != nullptr) return throwArgError(env, refused);
    }
  }
  Napi::Object current = Napi::Object::New(env);
  current.Set("sdkThread", Napi::Boolean::New(env, sdkThreadEnabled()));
  return current;
}
