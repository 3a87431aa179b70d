// preActivate: SDK handlers, start-up settings, defaults and key file path.
#include <string>

#include "diagnostics/code_page.h"
#include "diagnostics/console.h"
#include "events/log_callback.h"
#include "node_ext/arguments.h"
#include "node_ext/messages.h"
#include "node_ext/results.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/session_hold.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

struct Setting {
  const char *key;
  const char *value;
};

// Applied after QCF_PreActivate, in this order, whatever it returned.
constexpr Setting kDefaults[] = {
    {"logLevel", "1"},
    {"curlConnectTimeout", "30"},
    {"keyTemporaryCapacity", "256"},
    {"logDumpMaxCount", "3"},
    {"curlTryConnectTimeout", "2"},
    {"curlTryConnectPeriod", "30"},
    {"autoChooseSPM", "true"},
    {"logFileCapacity", "1"},
    {"ignoreSpmInitFail", "true"},
};

constexpr const char kDefaultUserDataDir[] = "log/";
constexpr const char kDefaultUkeyType[] = "6";

}  // namespace

Napi::Value VarnKtPlugin::preActivate(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);

  // Installed on every call, before any argument is looked at.
  runSdkCall([] {
    QCF_SetExceptionHandler(sdkExceptionHandler);
    QCF_SetLogHandler(sdkLogHandler);
  });

  if (const char *fault =
          firstArgFault(info, 1,
                        {{0, JsType::String, msg::kFirstString},
                         {1, JsType::String, msg::kSecString, true}})) {
    return throwArgError(env, fault);
  }
  // The SDK sees paths as C strings: one cut at a NUL would name another
  // file, so such a path is refused.
  std::string keyFilePath = stringArg(info[0]);
  if (hasEmbeddedNul(keyFilePath)) {
    return throwArgError(env, msg::kFirstPathNul);
  }
  bool hasLogDir = info.Length() >= 2;
  std::string logDir = hasLogDir ? stringArg(info[1]) : std::string();
  if (hasEmbeddedNul(logDir)) return throwArgError(env, msg::kSecPathNul);

  // A third argument that is not a string is ignored.
  std::string ukeyType = info.Length() >= 3 && info[2].IsString()
                             ? stringArg(info[2])
                             : std::string(kDefaultUkeyType);

  // Printed before the SDK sees the setting.
  std::string ansiLogDir = hasLogDir ? utf8ToAnsi(logDir.c_str()) : "";
  if (hasLogDir) consolePrint("cc_logPath: %s\n", ansiLogDir.c_str());
  std::string ansiKeyFilePath = utf8ToAnsi(keyFilePath.c_str());

  SdkOutcome outcome;
  runSdkCall([&] {
    if (hasLogDir) {
      QCF_Custom("logDir", ansiLogDir.c_str());
    } else {
      QCF_Custom("userDataDir", kDefaultUserDataDir);
    }
    QCF_Custom("UkeyType", ukeyType.c_str());
    int code = QCF_PreActivate();
    for (const Setting &setting : kDefaults) {
      QCF_Custom(setting.key, setting.value);
    }
    QCF_SetKeyFilePath(ansiKeyFilePath.c_str());
    outcome.set(code);
  });
  openSession();

  const int code = outcome.code;
  if (code != 0) {
    consolePrint("【预激活】执行失败：%#X(%s)\n",
                 static_cast<unsigned int>(code), outcome.errorText.c_str());
  } else {
    consolePrint("【预激活】成功！\n");
  }
  return Napi::Number::New(env, code);
}
