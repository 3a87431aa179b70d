// fillKey and fillKeySync: filling keys into a soft key.
//
// Both read the same parameter object and make the same SDK call; fillKey is
// strict about which properties must be present and settles a promise,
// fillKeySync checks only serverAddr and returns the SDK's code.
#include <string>

#include "diagnostics/code_page.h"
#include "diagnostics/log_file.h"
#include "node_ext/method_row.h"
#include "node_ext/records.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct FillKeyParams {
  std::string serverAddr;
  uint32_t port = 0;
  uint32_t serverType = 0;
  std::string userTokenHandle;
  uint32_t overWriteFlag = 0;
  std::string appName;
  uint32_t keyLen = 0;
  std::string softkeyPath;
};

struct FillKeyCall {
  FillKeyParams params;
  SdkOutcome outcome;
};

struct Property {
  const char *name;
  const char *missing;
};

constexpr Property kTopLevel[] = {
    {"serverAddr", msg::kMissingServerAddr},
    {"port", msg::kMissingPort},
    {"serverType", msg::kMissingServerType},
    {"userTokenHandle", msg::kMissingUserTokenHandle},
    {"overWriteFlag", msg::kMissingOverWriteFlag},
    {"fillkeyItem", msg::kMissingFillkeyItem},
};

constexpr Property kItem[] = {
    {"appName", msg::kMissingAppName},
    {"keyLen", msg::kMissingKeyLen},
    {"softkeyPath", msg::kMissingSoftkeyPath},
};

// The message for the first property `object` lacks, or nullptr. Presence is
// JavaScript's `in`: inherited properties count, undefined values too.
template <size_t N>
const char *firstMissing(const Napi::Object &object,
                         const Property (&properties)[N]) {
  for (const Property &property : properties) {
    if (!object.Has(property.name)) return property.missing;
  }
  return nullptr;
}

// Reads the five top-level values and returns fillkeyItem as an object. The
// order matters: getters and coercions run, and may throw, in this order.
Napi::Object readTopLevel(const Napi::Object &object, FillKeyParams &params) {
  params.serverAddr = coercedString(object.Get("serverAddr"));
  params.port = coercedUint32(object.Get("port"));
  params.serverType = coercedUint32(object.Get("serverType"));
  params.userTokenHandle = coercedString(object.Get("userTokenHandle"));
  params.overWriteFlag = coercedUint32(object.Get("overWriteFlag"));
  return object.Get("fillkeyItem").ToObject();
}

void readItem(const Napi::Object &item, FillKeyParams &params) {
  params.appName = coercedString(item.Get("appName"));
  params.keyLen = coercedUint32(item.Get("keyLen"));
  params.softkeyPath = coercedString(item.Get("softkeyPath"));
}

// Builds the item record, logs the path as given and calls the SDK.
int callFillKey(const FillKeyParams &params) {
  QCF_FillKeyItem item = makeFillKeyItem(
      params.appName, params.keyLen, utf8ToAnsi(params.softkeyPath.c_str()));
  writeLog(params.softkeyPath.data(), params.softkeyPath.size());
  uint32_t overWriteFlag = params.overWriteFlag;
  return QCF_FillKey_WithPubkey(
      params.serverAddr.c_str(), params.port, params.serverType,
      params.userTokenHandle.c_str(), &item, &overWriteFlag);
}

// The message for a soft key path the SDK would not get whole, or nullptr.
const char *softkeyPathFault(const std::string &path) {
  if (hasEmbeddedNul(path)) return msg::kSoftkeyPathNul;
  // The field carries the converted path with its NUL.
  if (utf8ToAnsi(path.c_str()).size() >= sizeof(QCF_FillKeyItem::softkeyPath)) {
    return msg::kSoftkeyPathTooLong;
  }
  return nullptr;
}

// fillKey: exactly one object, with every property present; the item's
// properties are checked once the top-level values have been read.
const char *readFillKey(const Napi::CallbackInfo &info, FillKeyCall &call) {
  if (info.Length() != 1) return msg::kExpectedOneArgument;
  if (!hasType(info[0], JsType::Object)) return msg::kExpectedObject;
  Napi::Object object = info[0].As<Napi::Object>();
  if (const char *missing = firstMissing(object, kTopLevel)) return missing;
  Napi::Object item = readTopLevel(object, call.params);
  if (const char *missing = firstMissing(item, kItem)) return missing;
  readItem(item, call.params);
  return softkeyPathFault(call.params.softkeyPath);
}

// fillKeySync: only serverAddr must be present; missing properties read as
// "undefined" or 0.
const char *readFillKeySync(const Napi::CallbackInfo &info, FillKeyCall &call) {
  if (info.Length() != 1) return msg::kExpectedOneArgument;
  if (!hasType(info[0], JsType::Object)) return msg::kExpectedObject;
  Napi::Object object = info[0].As<Napi::Object>();
  if (!object.Has("serverAddr")) return msg::kMissingServerAddr;
  readItem(readTopLevel(object, call.params), call.params);
  return softkeyPathFault(call.params.softkeyPath);
}

void callFillKeyWithText(FillKeyCall &call) {
  call.outcome.set(callFillKey(call.params));
}

// The synchronous flavour returns the bare code: no text is asked for.
void callFillKeyCodeOnly(FillKeyCall &call) {
  call.outcome.code = callFillKey(call.params);
}

Napi::Value fillKeyResult(Napi::Env env, FillKeyCall &call) {
  return makeResult(env, call.outcome, msg::kFillKeySuccess);
}

Napi::Value fillKeySyncResult(Napi::Env env, FillKeyCall &call) {
  return Napi::Number::New(env, call.outcome.code);
}

constexpr MethodRow<FillKeyCall> kFillKey{"FillKey", readFillKey,
                                          callFillKeyWithText, fillKeyResult};
constexpr MethodRow<FillKeyCall> kFillKeySync{
    nullptr, readFillKeySync, callFillKeyCodeOnly, fillKeySyncResult};

}  // namespace

Napi::Value VarnKtPlugin::fillKey(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kFillKey);
}

Napi::Value VarnKtPlugin::fillKeySync(const Napi::CallbackInfo &info) {
  return syncMethod(info, kFillKeySync, FaultType::TypeError);
}
