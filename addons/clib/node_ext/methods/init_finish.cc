// init and finish: setting the SDK up for a key server and shutting it down.
#include <memory>

#include "events/log_callback.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/login_arguments.h"
#include "node_ext/login_state.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

void completeInit(Napi::Env env, LoginJob &job) {
  // The SDK is to take the PIN from cspInfo, on every init.
  QCF_Custom("useInputCspInfo", "true");
  writeLoginRecords(job.fields, serverInfo, userInfo, cspInfo);
  int code = QCF_Init(&serverInfo, &userInfo, &cspInfo);
  job.deferred.Resolve(makeResult(env, code, msg::kInitSuccess));
}

}  // namespace

Napi::Value VarnKtPlugin::init(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto job = std::make_unique<LoginJob>(Napi::Promise::Deferred::New(env));
  if (!readLoginArguments(info, job->deferred, job->fields)) {
    return job->deferred.Promise();
  }
  return startAsync(env, std::move(job), "KT_Init", &completeInit);
}

Napi::Value VarnKtPlugin::finish(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  int code = QCF_Finish();
  loginToken = nullptr;
  loginTokenValidSeconds = 0;
  releaseLogCallback();
  return Napi::Number::New(env, code);
}
