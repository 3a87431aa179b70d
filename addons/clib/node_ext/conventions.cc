#include "node_ext/conventions.h"

#include "node_ext/messages.h"
#include "qcf.h"

namespace VarnNode {

bool hasType(const Napi::Value &value, JsType type) {
  switch (type) {
    case JsType::String:
      return value.IsString();
    case JsType::Number:
      return value.IsNumber();
    case JsType::Function:
      return value.IsFunction();
    case JsType::Object:
      return value.Type() == napi_object || value.Type() == napi_function;
  }
  return false;
}

const char *firstArgFault(const Napi::CallbackInfo &info, size_t minCount,
                          std::initializer_list<ArgRule> rules) {
  if (info.Length() < minCount) {
    return msg::kCountLess;
  }
  for (const ArgRule &rule : rules) {
    if (rule.optional && info.Length() <= rule.index) continue;
    if (!hasType(info[rule.index], rule.type)) return rule.message;
  }
  return nullptr;
}

Napi::Value throwArgError(Napi::Env env, const char *message) {
  Napi::Error::New(env, message).ThrowAsJavaScriptException();
  return Napi::Number::New(env, -1);
}

Napi::Value throwArgTypeError(Napi::Env env, const char *message) {
  Napi::TypeError::New(env, message).ThrowAsJavaScriptException();
  return Napi::Number::New(env, -1);
}

bool rejectIf(const Napi::Promise::Deferred &deferred, bool condition,
              const char *message, Napi::Env env, int code) {
  if (!condition) return false;
  Napi::Object rejection = Napi::Object::New(env);
  rejection.Set("code", Napi::Number::New(env, code));
  rejection.Set("message", message);
  deferred.Reject(rejection);
  return true;
}

const char *sdkErrorText(int code) {
  const char *text = QCF_ErrMessage(code);
  return text != nullptr ? text : "";
}

void SdkOutcome::set(int returned) {
  code = returned;
  if (code != 0) errorText = sdkErrorText(code);
}

Napi::Object makeResult(Napi::Env env, const SdkOutcome &outcome,
                        const char *successText) {
  Napi::Object result = Napi::Object::New(env);
  result.Set("code", Napi::Number::New(env, outcome.code));
  // Set with the text itself: given a Napi::String, node-addon-api reads it
  // back into a std::string and makes a second JavaScript string from that.
  result.Set("message",
             outcome.code == 0 ? successText : outcome.errorText.c_str());
  return result;
}

std::string stringArg(const Napi::Value &value) {
  return value.As<Napi::String>().Utf8Value();
}

uint32_t uint32Arg(const Napi::Value &value) {
  return value.As<Napi::Number>().Uint32Value();
}

std::string coercedString(const Napi::Value &value) {
  return value.ToString().Utf8Value();
}

uint32_t coercedUint32(const Napi::Value &value) {
  return value.ToNumber().Uint32Value();
}

bool hasEmbeddedNul(const std::string &text) {
  return text.find('\0') != std::string::npos;
}

}  // namespace VarnNode
