#include "node_ext/arguments.h"

#include "node_ext/messages.h"

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
  if (info.Length() < minCount) return msg::kCountLess;
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

const char *readTwoStrings(const Napi::CallbackInfo &info, std::string &first,
                           std::string &second) {
  if (const char *fault =
          firstArgFault(info, 2,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::String, msg::kSecondString}})) {
    return fault;
  }
  first = stringArg(info[0]);
  second = stringArg(info[1]);
  return nullptr;
}

bool hasEmbeddedNul(const std::string &text) {
  return text.find('\0') != std::string::npos;
}

}  // namespace VarnNode
