// reFillKey and reFillKeySync: refilling keys with the stored login token.
#include "node_ext/login_state.h"
#include "node_ext/method_row.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct ReFillKeyCall {
  uint32_t second = 0;
  uint32_t third = 0;
  SdkOutcome outcome;
};

// The first argument must be a string but is not used: the SDK gets the
// token of the last login.
const char *readReFillKey(const Napi::CallbackInfo &info, ReFillKeyCall &call) {
  if (const char *fault =
          firstArgFault(info, 3,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::Number, msg::kSecondNumber},
                         {2, JsType::Number, msg::kThirdNumber}})) {
    return fault;
  }
  call.second = uint32Arg(info[1]);
  call.third = uint32Arg(info[2]);
  return nullptr;
}

// The token is read at the moment of the call: a login or finish between
// the method and its SDK call counts.
void callReFillKey(ReFillKeyCall &call) {
  call.outcome.set(QCF_ReFillKey(loginToken, call.second, call.third));
}

Napi::Value reFillKeyResult(Napi::Env env, ReFillKeyCall &call) {
  return makeResult(env, call.outcome, msg::kReFillKeySuccess);
}

constexpr MethodRow<ReFillKeyCall> kReFillKey{"ReFillKey", readReFillKey,
                                              callReFillKey, reFillKeyResult};

}  // namespace

Napi::Value VarnKtPlugin::reFillKey(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kReFillKey);
}

Napi::Value VarnKtPlugin::reFillKeySync(const Napi::CallbackInfo &info) {
  return syncMethod(info, kReFillKey);
}
