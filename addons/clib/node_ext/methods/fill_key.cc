// fillKey and fillKeySync: filling keys into a soft key.
//
// Both read the same parameter object and make the same SDK call; fillKey is
// strict about which properties must be present and settles a promise,
// fillKeySync checks only serverAddr and returns the SDK's code.
#include <memory>
#include <string>
#include <utility>

#include "diagnostics/code_page.h"
#include "diagnostics/log_file.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/records.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/varn_kt_plugin.h"
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

struct FillKeyJob : AsyncJob {
  using AsyncJob::AsyncJob;
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

void callFillKeyJob(FillKeyJob &job) {
  job.outcome.set(callFillKey(job.params));
}

void settleFillKey(Napi::Env env, FillKeyJob &job) {
  job.deferred.Resolve(makeResult(env, job.outcome, msg::kFillKeySuccess));
}

constexpr AsyncOperation<FillKeyJob> kFillKey{"FillKey", callFillKeyJob,
                                              settleFillKey};

}  // namespace

Napi::Value VarnKtPlugin::fillKey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto deferred = Napi::Promise::Deferred::New(env);
  if (rejectIf(deferred, info.Length() != 1, msg::kExpectedOneArgument, env,
               -1) ||
      rejectIf(deferred, !hasType(info[0], JsType::Object),
               msg::kExpectedObject, env, -1)) {
    return deferred.Promise();
  }
  Napi::Object object = info[0].As<Napi::Object>();
  const char *missing = firstMissing(object, kTopLevel);
  if (rejectIf(deferred, missing != nullptr, missing, env, -1)) {
    return deferred.Promise();
  }
  auto job = std::make_unique<FillKeyJob>(deferred);
  Napi::Object item = readTopLevel(object, job->params);
  missing = firstMissing(item, kItem);
  if (rejectIf(deferred, missing != nullptr, missing, env, -1)) {
    return deferred.Promise();
  }
  readItem(item, job->params);
  const char *fault = softkeyPathFault(job->params.softkeyPath);
  if (rejectIf(deferred, fault != nullptr, fault, env, -1)) {
    return deferred.Promise();
  }
  return startAsync(env, std::move(job), kFillKey);
}

Napi::Value VarnKtPlugin::fillKeySync(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (info.Length() != 1) {
    return throwArgTypeError(env, msg::kExpectedOneArgument);
  }
  if (!hasType(info[0], JsType::Object)) {
    return throwArgTypeError(env, msg::kExpectedObject);
  }
  Napi::Object object = info[0].As<Napi::Object>();
  if (!object.Has("serverAddr")) {
    return throwArgTypeError(env, msg::kMissingServerAddr);
  }
  FillKeyParams params;
  readItem(readTopLevel(object, params), params);
  if (const char *fault = softkeyPathFault(params.softkeyPath)) {
    return throwArgTypeError(env, fault);
  }
  int code = 0;
  runSdkCall([&] { code = callFillKey(params); });
  return Napi::Number::New(env, code);
}
