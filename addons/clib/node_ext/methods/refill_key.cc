// reFillKey and reFillKeySync: refilling keys with the stored login token.
#include <memory>

#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/login_state.h"
#include "node_ext/messages.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct ReFillKeyCall {
  uint32_t second = 0;
  uint32_t third = 0;
  SdkOutcome outcome;
};

struct ReFillKeyJob : AsyncJob {
  using AsyncJob::AsyncJob;
  ReFillKeyCall call;
};

const char *refillArgFault(const Napi::CallbackInfo &info) {
  return firstArgFault(info, 3,
                       {{0, JsType::String, msg::kFirstString},
                        {1, JsType::Number, msg::kSecondNumber},
                        {2, JsType::Number, msg::kThirdNumber}});
}

// Checked arguments only; the first is not used.
ReFillKeyCall readReFillArguments(const Napi::CallbackInfo &info) {
  ReFillKeyCall call;
  call.second = uint32Arg(info[1]);
  call.third = uint32Arg(info[2]);
  return call;
}

// The token is read at the moment of the call: a login or finish between
// the method and its completion counts.
void callReFillKey(ReFillKeyCall &call) {
  call.outcome.set(QCF_ReFillKey(loginToken, call.second, call.third));
}

void callReFillKeyJob(ReFillKeyJob &job) { callReFillKey(job.call); }

void settleReFillKey(Napi::Env env, ReFillKeyJob &job) {
  job.deferred.Resolve(
      makeResult(env, job.call.outcome, msg::kReFillKeySuccess));
}

constexpr AsyncOperation<ReFillKeyJob> kReFillKey{"ReFillKey", callReFillKeyJob,
                                                  settleReFillKey};

}  // namespace

Napi::Value VarnKtPlugin::reFillKey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault = refillArgFault(info);
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  auto job = std::make_unique<ReFillKeyJob>(deferred);
  job->call = readReFillArguments(info);
  return startAsync(env, std::move(job), kReFillKey);
}

Napi::Value VarnKtPlugin::reFillKeySync(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault = refillArgFault(info)) {
    return throwArgError(env, fault);
  }
  ReFillKeyCall call = readReFillArguments(info);
  runSdkCall([&call] { callReFillKey(call); });
  return makeResult(env, call.outcome, msg::kReFillKeySuccess);
}
