// setCustomConfig and setKeyFilePath: single settings handed to the SDK.
#include "diagnostics/code_page.h"
#include "diagnostics/log_file.h"
#include "node_ext/conventions.h"
#include "node_ext/messages.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

Napi::Value VarnKtPlugin::setCustomConfig(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault =
          firstArgFault(info, 2,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::String, msg::kSecondString}})) {
    return throwArgError(env, fault);
  }
  std::string key = stringArg(info[0]);
  std::string value = stringArg(info[1]);
  int code = 0;
  runSdkCall([&] { code = QCF_Custom(key.c_str(), value.c_str()); });
  return Napi::Number::New(env, code);
}

Napi::Value VarnKtPlugin::setKeyFilePath(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  if (const char *fault =
          firstArgFault(info, 1, {{0, JsType::String, msg::kFirstString}})) {
    return throwArgError(env, fault);
  }
  std::string path = stringArg(info[0]);
  if (hasEmbeddedNul(path)) return throwArgError(env, msg::kFirstPathNul);
  std::string ansiPath = utf8ToAnsi(path.c_str());
  int code = 0;
  runSdkCall([&] {
    writeLog(path.data(), path.size());
    code = QCF_SetKeyFilePath(ansiPath.c_str());
  });
  return Napi::Number::New(env, code);
}
