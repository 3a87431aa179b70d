// reFillKey and reFillKeySync: refilling keys with the stored login token.
#include <memory>

#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/login_state.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct ReFillKeyJob : AsyncJob {
  using AsyncJob::AsyncJob;
  uint32_t second = 0;
  uint32_t third = 0;
};

const char *refillArgFault(const Napi::CallbackInfo &info) {
  return firstArgFault(info, 3,
                       {{0, JsType::String, msg::kFirstString},
                        {1, JsType::Number, msg::kSecondNumber},
                        {2, JsType::Number, msg::kThirdNumber}});
}

// The token is read at the moment of the call: a login or finish between
// the method and its completion counts.
Napi::Object refill(Napi::Env env, uint32_t second, uint32_t third) {
  int code = QCF_ReFillKey(loginToken, second, third);
  return makeResult(env, code, msg::kReFillKeySuccess);
}

void completeReFillKey(Napi::Env env, ReFillKeyJob &job) {
  job.deferred.Resolve(refill(env, job.second, job.third));
}

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
  job->second = uint32Arg(info[1]);
  job->third = uint32Arg(info[2]);
  return startAsync(env, std::move(job), "ReFillKey", completeReFillKey);
}

Napi::Value VarnKtPlugin::reFillKeySync(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault = refillArgFault(info))
    return throwArgError(env, fault);
  return refill(env, uint32Arg(info[1]), uint32Arg(info[2]));
}
