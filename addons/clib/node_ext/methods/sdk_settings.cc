// setCustomConfig and setKeyFilePath: single settings handed to the SDK.
#include <string>

#include "diagnostics/code_page.h"
#include "diagnostics/log_file.h"
#include "node_ext/method_row.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct SettingCall {
  std::string key;
  std::string value;  // the converted path for setKeyFilePath
  std::string path;   // setKeyFilePath's path as given, for the log
  int code = 0;
};

const char *readCustomConfig(const Napi::CallbackInfo &info,
                             SettingCall &call) {
  return readTwoStrings(info, call.key, call.value);
}

void callCustomConfig(SettingCall &call) {
  call.code = QCF_Custom(call.key.c_str(), call.value.c_str());
}

const char *readKeyFilePath(const Napi::CallbackInfo &info, SettingCall &call) {
  if (const char *fault =
          firstArgFault(info, 1, {{0, JsType::String, msg::kFirstString}})) {
    return fault;
  }
  call.path = stringArg(info[0]);
  // The SDK sees paths as C strings: one cut at a NUL would name another
  // file, so such a path is refused.
  if (hasEmbeddedNul(call.path)) return msg::kFirstPathNul;
  call.value = utf8ToAnsi(call.path.c_str());
  return nullptr;
}

void callKeyFilePath(SettingCall &call) {
  writeLog(call.path.data(), call.path.size());
  call.code = QCF_SetKeyFilePath(call.value.c_str());
}

Napi::Value settingResult(Napi::Env env, SettingCall &call) {
  return Napi::Number::New(env, call.code);
}

constexpr MethodRow<SettingCall> kCustomConfig{nullptr, readCustomConfig,
                                               callCustomConfig, settingResult};
constexpr MethodRow<SettingCall> kKeyFilePath{nullptr, readKeyFilePath,
                                              callKeyFilePath, settingResult};

}  // namespace

Napi::Value VarnKtPlugin::setCustomConfig(const Napi::CallbackInfo &info) {
  return syncMethod(info, kCustomConfig);
}

Napi::Value VarnKtPlugin::setKeyFilePath(const Napi::CallbackInfo &info) {
  return syncMethod(info, kKeyFilePath);
}
