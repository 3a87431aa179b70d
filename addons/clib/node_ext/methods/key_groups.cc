// createGroup and applyKeyWithGroupID: key groups and their shared key.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "diagnostics/log_file.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/records.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct CreateGroupJob : AsyncJob {
  using AsyncJob::AsyncJob;
  std::string firstText;
  uint32_t secondNumber = 0;
  std::string thirdText;
  SdkOutcome outcome;
  std::string groupId;
};

struct ApplyKeyJob : AsyncJob {
  using AsyncJob::AsyncJob;
  std::string firstText;
  std::string secondText;
  SdkOutcome outcome;
  bool keyTooLong = false;
  std::string groupKey;
};

constexpr size_t kGroupIdSize = 64;
constexpr int32_t kMaxKeyBytes = 256;
// QCF_ExportKey is given no capacity; the room past 256 bytes only absorbs
// an SDK that writes more, and is never read.
constexpr size_t kKeyBufferSize = 1024;

void callCreateGroup(CreateGroupJob &job) {
  writeLog(job.firstText.c_str());
  int32_t cell = -1;
  char groupId[kGroupIdSize] = {};
  job.outcome.set(QCF_CreateGroup(job.firstText.c_str(), job.secondNumber,
                                  &cell, job.thirdText.c_str(), groupId));
  job.groupId = fieldText(groupId, sizeof groupId);
  writeLog("CreateGroupId");
}

void settleCreateGroup(Napi::Env env, CreateGroupJob &job) {
  Napi::Object result = makeResult(env, job.outcome);
  result.Set("groupId", job.groupId);
  job.deferred.Resolve(result);
}

void callApplyKey(ApplyKeyJob &job) {
  void *keyHandle = nullptr;
  // Its code is not needed: an unusable handle makes the export fail.
  QCF_ApplyKeyWithGroupID(job.firstText.c_str(), job.secondText.c_str(),
                          &keyHandle);
  int32_t keyLength = 0;
  unsigned char key[kKeyBufferSize] = {};
  int code = QCF_ExportKey(keyHandle, &keyLength, key);
  // A key cut to the buffer would be a wrong key reported as success.
  job.keyTooLong = code == 0 && keyLength > kMaxKeyBytes;
  if (job.keyTooLong) return;
  job.outcome.set(code);
  if (code == 0) job.groupKey = hexUpper(key, keyLength);
}

void settleApplyKey(Napi::Env env, ApplyKeyJob &job) {
  Napi::Object result;
  if (job.keyTooLong) {
    result = Napi::Object::New(env);
    result.Set("code", Napi::Number::New(env, -1));
    result.Set("message", msg::kExportedKeyTooLong);
  } else {
    result = makeResult(env, job.outcome);
  }
  result.Set("groupKey", job.groupKey);
  job.deferred.Resolve(result);
}

constexpr AsyncOperation<CreateGroupJob> kCreateGroup{
    "CreateGroup", callCreateGroup, settleCreateGroup};
constexpr AsyncOperation<ApplyKeyJob> kApplyKey{"ApplyKeyWithGroupID",
                                                callApplyKey, settleApplyKey};

}  // namespace

Napi::Value VarnKtPlugin::createGroup(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault = firstArgFault(info, 3,
                                    {{0, JsType::String, msg::kFirstString},
                                     {1, JsType::Number, msg::kSecondNumber},
                                     {2, JsType::String, msg::kThirdString}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  auto job = std::make_unique<CreateGroupJob>(deferred);
  job->firstText = stringArg(info[0]);
  job->secondNumber = uint32Arg(info[1]);
  job->thirdText = stringArg(info[2]);
  return startAsync(env, std::move(job), kCreateGroup);
}

Napi::Value VarnKtPlugin::applyKeyWithGroupID(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  const char *fault = firstArgFault(info, 2,
                                    {{0, JsType::String, msg::kFirstString},
                                     {1, JsType::String, msg::kSecondString}});
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  auto job = std::make_unique<ApplyKeyJob>(deferred);
  job->firstText = stringArg(info[0]);
  job->secondText = stringArg(info[1]);
  return startAsync(env, std::move(job), kApplyKey);
}
