// createGroup and applyKeyWithGroupID: key groups and their shared key.
#include <cstdint>
#include <string>

#include "diagnostics/log_file.h"
#include "node_ext/method_row.h"
#include "node_ext/records.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct CreateGroupCall {
  std::string firstText;
  uint32_t secondNumber = 0;
  std::string thirdText;
  SdkOutcome outcome;
  std::string groupId;
};

struct ApplyKeyCall {
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

const char *readCreateGroup(const Napi::CallbackInfo &info,
                            CreateGroupCall &call) {
  if (const char *fault =
          firstArgFault(info, 3,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::Number, msg::kSecondNumber},
                         {2, JsType::String, msg::kThirdString}})) {
    return fault;
  }
  call.firstText = stringArg(info[0]);
  call.secondNumber = uint32Arg(info[1]);
  call.thirdText = stringArg(info[2]);
  return nullptr;
}

void callCreateGroup(CreateGroupCall &call) {
  writeLog(call.firstText.c_str());
  int32_t cell = -1;
  char groupId[kGroupIdSize] = {};
  call.outcome.set(QCF_CreateGroup(call.firstText.c_str(), call.secondNumber,
                                   &cell, call.thirdText.c_str(), groupId));
  call.groupId = fieldText(groupId, sizeof groupId);
  writeLog("CreateGroupId");
}

Napi::Value createGroupResult(Napi::Env env, CreateGroupCall &call) {
  Napi::Object result = makeResult(env, call.outcome);
  result.Set("groupId", call.groupId);
  return result;
}

const char *readApplyKey(const Napi::CallbackInfo &info, ApplyKeyCall &call) {
  return readTwoStrings(info, call.firstText, call.secondText);
}

void callApplyKey(ApplyKeyCall &call) {
  void *keyHandle = nullptr;
  // Its code is not needed: an unusable handle makes the export fail.
  QCF_ApplyKeyWithGroupID(call.firstText.c_str(), call.secondText.c_str(),
                          &keyHandle);
  int32_t keyLength = 0;
  unsigned char key[kKeyBufferSize] = {};
  int code = QCF_ExportKey(keyHandle, &keyLength, key);
  // A key cut to the buffer would be a wrong key reported as success.
  call.keyTooLong = code == 0 && keyLength > kMaxKeyBytes;
  if (call.keyTooLong) return;
  call.outcome.set(code);
  if (code == 0) call.groupKey = hexUpper(key, keyLength);
}

Napi::Value applyKeyResult(Napi::Env env, ApplyKeyCall &call) {
  // A key too long comes back as {code: -1, message}, as an argument fault
  // would, but resolved.
  Napi::Object result = call.keyTooLong
                            ? makeRejection(env, msg::kExportedKeyTooLong)
                            : makeResult(env, call.outcome);
  result.Set("groupKey", call.groupKey);
  return result;
}

constexpr MethodRow<CreateGroupCall> kCreateGroup{
    "CreateGroup", readCreateGroup, callCreateGroup, createGroupResult};
constexpr MethodRow<ApplyKeyCall> kApplyKey{"ApplyKeyWithGroupID", readApplyKey,
                                            callApplyKey, applyKeyResult};

}  // namespace

Napi::Value VarnKtPlugin::createGroup(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kCreateGroup);
}

Napi::Value VarnKtPlugin::applyKeyWithGroupID(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kApplyKey);
}
