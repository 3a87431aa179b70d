#include "node_ext/results.h"

#include "qcf.h"

namespace VarnNode {

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

Napi::Object makeRejection(Napi::Env env, const char *message) {
  Napi::Object rejection = Napi::Object::New(env);
  rejection.Set("code", Napi::Number::New(env, -1));
  rejection.Set("message", message);
  return rejection;
}

}  // namespace VarnNode
