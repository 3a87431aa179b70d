// reportSPMWithSignPubkey: reporting the security module with its signing
// public key.
#include <memory>
#include <string>
#include <utility>

#include "diagnostics/console.h"
#include "diagnostics/log_file.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/records.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct ReportSpmJob : AsyncJob {
  using AsyncJob::AsyncJob;
  std::string firstText;
  std::string secondText;
  SdkOutcome outcome;
};

void callReportSpm(ReportSpmJob &job) {
  // The SDK always gets the default port here, whatever the caller passed.
  job.outcome.set(
      QCF_ReportSPMWithSignPubkey(job.firstText.c_str(), job.secondText.c_str(),
                                  static_cast<int32_t>(kDefaultPort)));
}

void settleReportSpm(Napi::Env env, ReportSpmJob &job) {
  const int code = job.outcome.code;
  const char *message = msg::kSucc;
  if (code == 0) {
    consolePrint("【签名公钥上报】上报成功\n");
  } else {
    message = job.outcome.errorText.c_str();
    consolePrint("【签名公钥上报】上报失败：返回%d%s\n", code, message);
  }
  Napi::Object result = Napi::Object::New(env);
  result.Set("code", Napi::Number::New(env, code));
  result.Set("message", message);
  job.deferred.Resolve(result);
}

constexpr AsyncOperation<ReportSpmJob> kReportSpm{
    "ReportSPMWithSignPubkey", callReportSpm, settleReportSpm};

}  // namespace

Napi::Value VarnKtPlugin::reportSPMWithSignPubkey(
    const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault = firstArgFault(info, 3,
                                    {{0, JsType::String, msg::kFirstString},
                                     {1, JsType::String, msg::kSecString},
                                     {2, JsType::Number, msg::kThirdNumber}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  auto job = std::make_unique<ReportSpmJob>(deferred);
  // Each text goes to the log twice, as given and as a C string, which a
  // NUL inside it cuts short: the four records are what callers find there.
  job->firstText = stringArg(info[0]);
  writeLog(job->firstText.data(), job->firstText.size());
  job->secondText = stringArg(info[1]);
  writeLog(job->secondText.data(), job->secondText.size());
  writeLog(job->firstText.c_str());
  writeLog(job->secondText.c_str());
  return startAsync(env, std::move(job), kReportSpm);
}
