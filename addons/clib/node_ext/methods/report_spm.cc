// reportSPMWithSignPubkey: reporting the security module with its signing
// public key.
#include <string>

#include "diagnostics/console.h"
#include "diagnostics/log_file.h"
#include "node_ext/method_row.h"
#include "node_ext/records.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct ReportSpmCall {
  std::string firstText;
  std::string secondText;
  SdkOutcome outcome;
};

const char *readReportSpm(const Napi::CallbackInfo &info, ReportSpmCall &call) {
  if (const char *fault =
          firstArgFault(info, 3,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::String, msg::kSecString},
                         {2, JsType::Number, msg::kThirdNumber}})) {
    return fault;
  }
  // Each text goes to the log twice, as given and as a C string, which a
  // NUL inside it cuts short: the four records are what callers find there.
  call.firstText = stringArg(info[0]);
  writeLog(call.firstText.data(), call.firstText.size());
  call.secondText = stringArg(info[1]);
  writeLog(call.secondText.data(), call.secondText.size());
  writeLog(call.firstText.c_str());
  writeLog(call.secondText.c_str());
  return nullptr;
}

void callReportSpm(ReportSpmCall &call) {
  // The SDK always gets the default port here, whatever the caller passed.
  call.outcome.set(QCF_ReportSPMWithSignPubkey(
      call.firstText.c_str(), call.secondText.c_str(),
      static_cast<int32_t>(kDefaultPort)));
}

Napi::Value reportSpmResult(Napi::Env env, ReportSpmCall &call) {
  const int code = call.outcome.code;
  if (code == 0) {
    consolePrint("【签名公钥上报】上报成功\n");
  } else {
    consolePrint("【签名公钥上报】上报失败：返回%d%s\n", code,
                 call.outcome.errorText.c_str());
  }
  return makeResult(env, call.outcome);
}

constexpr MethodRow<ReportSpmCall> kReportSpm{
    "ReportSPMWithSignPubkey", readReportSpm, callReportSpm, reportSpmResult};

}  // namespace

Napi::Value VarnKtPlugin::reportSPMWithSignPubkey(
    const Napi::CallbackInfo &info) {
  return promiseMethod(info, kReportSpm);
}
