// getSPMKeyInfo: the security module's key tag, source and counters.
#include <memory>
#include <string>
#include <utility>

#include "diagnostics/console.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/records.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

// The output record with the room the SDK may use beyond its last field.
struct SpmKeyInfoArea {
  QCF_SpmKeyInfo info;
  unsigned char spare[4];
};
static_assert(sizeof(SpmKeyInfoArea) == 400, "SpmKeyInfo area size");

struct SpmKeyInfoJob : AsyncJob {
  using AsyncJob::AsyncJob;
  std::string firstText;
  std::string secondText;
  // Zeroed, so a record the SDK leaves unwritten reads as empty.
  SpmKeyInfoArea area = {};
  SdkOutcome outcome;
};

void callSpmKeyInfo(SpmKeyInfoJob &job) {
  QCF_SpmKeyQuery query = makeSpmKeyQuery(job.firstText, job.secondText);
  job.outcome.set(QCF_GetSPMKeyInfo(&query, &job.area.info));
}

void settleSpmKeyInfo(Napi::Env env, SpmKeyInfoJob &job) {
  const QCF_SpmKeyInfo &info = job.area.info;
  const int code = job.outcome.code;
  Napi::Object result = Napi::Object::New(env);
  result.Set("keyTag", fieldText(info.keyTag, sizeof info.keyTag));
  result.Set("keySource", fieldText(info.keySource, sizeof info.keySource));
  result.Set("totalKeySize", Napi::Number::New(env, info.totalKeySize));
  result.Set("usedKeySize", Napi::Number::New(env, info.usedKeySize));
  // "Postion" is the SDK record's own spelling, which callers read.
  result.Set("keyBasePostion", Napi::Number::New(env, info.keyBasePostion));
  result.Set("code", Napi::Number::New(env, code));
  if (code == 0) {
    result.Set("message", msg::kSpmKeyInfoSuccess);
  } else {
    const char *text = job.outcome.errorText.c_str();
    consolePrint("【密钥信息】获取失败，返回：%#X（%s）\n",
                 static_cast<unsigned>(code), text);
    result.Set("message", text);
  }
  job.deferred.Resolve(result);
}

constexpr AsyncOperation<SpmKeyInfoJob> kSpmKeyInfo{
    "GetSPMKeyInfo", callSpmKeyInfo, settleSpmKeyInfo};

}  // namespace

Napi::Value VarnKtPlugin::getSPMKeyInfo(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault = firstArgFault(info, 2,
                                    {{0, JsType::String, msg::kFirstString},
                                     {1, JsType::String, msg::kSecondString}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  auto job = std::make_unique<SpmKeyInfoJob>(deferred);
  job->firstText = stringArg(info[0]);
  job->secondText = stringArg(info[1]);
  // Both texts must fit their query fields with the NUL.
  constexpr size_t kFirstMax = sizeof(QCF_SpmKeyQuery::firstText) - 1;
  constexpr size_t kSecondMax = sizeof(QCF_SpmKeyQuery::secondText) - 1;
  if (rejectIf(deferred, job->firstText.size() > kFirstMax,
               msg::kFirstTooLong15, env, -1) ||
      rejectIf(deferred, job->secondText.size() > kSecondMax,
               msg::kSecondTooLong63, env, -1)) {
    return deferred.Promise();
  }
  return startAsync(env, std::move(job), kSpmKeyInfo);
}
