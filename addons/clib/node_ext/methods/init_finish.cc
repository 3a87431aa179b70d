// init and finish: setting the SDK up for a key server and shutting it down.
#include <memory>

#include "events/log_callback.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/login_arguments.h"
#include "node_ext/login_state.h"
#include "node_ext/messages.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/session_hold.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

void callInit(LoginJob &job) {
  // The SDK is to take the PIN from cspInfo, on every init.
  QCF_Custom("useInputCspInfo", "true");
  writeLoginRecords(job.fields, serverInfo, userInfo, cspInfo);
  job.outcome.set(QCF_Init(&serverInfo, &userInfo, &cspInfo));
}

void settleInit(Napi::Env env, LoginJob &job) {
  job.deferred.Resolve(makeResult(env, job.outcome, msg::kInitSuccess));
}

constexpr AsyncOperation<LoginJob> kInit{"KT_Init", callInit, settleInit};

}  // namespace

Napi::Value VarnKtPlugin::init(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto job = std::make_unique<LoginJob>(Napi::Promise::Deferred::New(env));
  if (!readLoginArguments(info, job->deferred, job->fields)) {
    return job->deferred.Promise();
  }
  openSession();
  return startAsync(env, std::move(job), kInit);
}

Napi::Value VarnKtPlugin::finish(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  int code = 0;
  runSdkCall([&code] {
    code = QCF_Finish();
    loginToken = nullptr;
    loginTokenValidSeconds = 0;
  });
  releaseLogCallback();
  closeSession();
  return Napi::Number::New(env, code);
}
