// getSPMKeyInfo: the security module's key tag, source and counters.
#include <string>

#include "diagnostics/console.h"
#include "node_ext/method_row.h"
#include "node_ext/records.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

// The output record with the room the SDK may use beyond its last field.
struct SpmKeyInfoArea {
  QCF_SpmKeyInfo info;
  unsigned char spare[4];
};
static_assert(sizeof(SpmKeyInfoArea) == 400, "SpmKeyInfo area size");

struct SpmKeyInfoCall {
  std::string firstText;
  std::string secondText;
  // Zeroed, so a record the SDK leaves unwritten reads as empty.
  SpmKeyInfoArea area = {};
  SdkOutcome outcome;
};

const char *readSpmKeyInfo(const Napi::CallbackInfo &info,
                           SpmKeyInfoCall &call) {
  if (const char *fault =
          readTwoStrings(info, call.firstText, call.secondText)) {
    return fault;
  }
  // Both texts must fit their query fields with the NUL.
  if (call.firstText.size() >= sizeof(QCF_SpmKeyQuery::firstText)) {
    return msg::kFirstTooLong15;
  }
  if (call.secondText.size() >= sizeof(QCF_SpmKeyQuery::secondText)) {
    return msg::kSecondTooLong63;
  }
  return nullptr;
}

void callSpmKeyInfo(SpmKeyInfoCall &call) {
  QCF_SpmKeyQuery query = makeSpmKeyQuery(call.firstText, call.secondText);
  call.outcome.set(QCF_GetSPMKeyInfo(&query, &call.area.info));
}

Napi::Value spmKeyInfoResult(Napi::Env env, SpmKeyInfoCall &call) {
  const QCF_SpmKeyInfo &info = call.area.info;
  const int code = call.outcome.code;
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
    const char *text = call.outcome.errorText.c_str();
    consolePrint("【密钥信息】获取失败，返回：%#X（%s）\n",
                 static_cast<unsigned>(code), text);
    result.Set("message", text);
  }
  return result;
}

constexpr MethodRow<SpmKeyInfoCall> kSpmKeyInfo{
    "GetSPMKeyInfo", readSpmKeyInfo, callSpmKeyInfo, spmKeyInfoResult};

}  // namespace

Napi::Value VarnKtPlugin::getSPMKeyInfo(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kSpmKeyInfo);
}
