// init and finish: setting the SDK up for a key server and shutting it down.
#include "events/log_callback.h"
#include "node_ext/login_arguments.h"
#include "node_ext/login_state.h"
#include "node_ext/method_row.h"
#include "node_ext/session_hold.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

const char *readInit(const Napi::CallbackInfo &info, LoginCall &call) {
  const char *fault = readLoginArguments(info, call);
  // A session keeps the process alive from here until finish.
  if (fault == nullptr) openSession();
  return fault;
}

void callInit(LoginCall &call) {
  // The SDK is to take the PIN from cspInfo, on every init.
  QCF_Custom("useInputCspInfo", "true");
  writeLoginRecords(call.fields, serverInfo, userInfo, cspInfo);
  call.outcome.set(QCF_Init(&serverInfo, &userInfo, &cspInfo));
}

Napi::Value initResult(Napi::Env env, LoginCall &call) {
  return makeResult(env, call.outcome, msg::kInitSuccess);
}

struct FinishCall {
  int code = 0;
};

void callFinish(FinishCall &call) {
  call.code = QCF_Finish();
  loginToken = nullptr;
  loginTokenValidSeconds = 0;
}

Napi::Value finishResult(Napi::Env env, FinishCall &call) {
  releaseLogCallback();
  closeSession();
  return Napi::Number::New(env, call.code);
}

constexpr MethodRow<LoginCall> kInit{"KT_Init", readInit, callInit, initResult};
// finish ignores its arguments.
constexpr MethodRow<FinishCall> kFinish{nullptr, readNothing<FinishCall>,
                                        callFinish, finishResult};

}  // namespace

Napi::Value VarnKtPlugin::init(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kInit);
}

Napi::Value VarnKtPlugin::finish(const Napi::CallbackInfo &info) {
  return syncMethod(info, kFinish);
}
