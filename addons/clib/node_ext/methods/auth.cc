// auth and auth_pubkey: logging in and keeping the token.
#include <memory>

#include "diagnostics/console.h"
#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/login_arguments.h"
#include "node_ext/login_state.h"
#include "node_ext/messages.h"
#include "node_ext/varn_kt_plugin.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

// {token, tokenValidSeconds, code, message}. The token is read only after a
// successful login, and a null one reads as "".
Napi::Object makeAuthResult(Napi::Env env, int code, const char *errorText) {
  bool ok = code == 0;
  Napi::Object result = Napi::Object::New(env);
  result.Set("token", Napi::String::New(
                          env, ok && loginToken != nullptr ? loginToken : ""));
  result.Set("tokenValidSeconds",
             Napi::Number::New(env, ok ? loginTokenValidSeconds : 0u));
  result.Set("code", Napi::Number::New(env, code));
  result.Set("message", Napi::String::New(env, ok ? msg::kSucc : errorText));
  return result;
}

void completeAuth(Napi::Env env, AsyncJob &job) {
  int code = QCF_Auth(&loginToken, &loginTokenValidSeconds);
  const char *errorText = code != 0 ? sdkErrorText(code) : "";
  job.deferred.Resolve(makeAuthResult(env, code, errorText));
}

void completeAuthPubkey(Napi::Env env, LoginJob &job) {
  writeLoginRecords(job.fields, serverInfo, userInfo, cspInfo);
  int code = QCF_Auth_pubkey_WithInfo(&serverInfo, &userInfo, &loginToken,
                                      &loginTokenValidSeconds);
  const char *errorText = "";
  if (code != 0) {
    errorText = sdkErrorText(code);
    consolePrint("【认证】入网测试失败，返回：%#X（%s）\n",
                 static_cast<unsigned int>(code), errorText);
  }
  job.deferred.Resolve(makeAuthResult(env, code, errorText));
}

}  // namespace

Napi::Value VarnKtPlugin::auth(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  // Arguments are ignored.
  auto job = std::make_unique<AsyncJob>(Napi::Promise::Deferred::New(env));
  return startAsync(env, std::move(job), "Auth", &completeAuth);
}

Napi::Value VarnKtPlugin::auth_pubkey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto job = std::make_unique<LoginJob>(Napi::Promise::Deferred::New(env));
  if (!readLoginArguments(info, job->deferred, job->fields)) {
    return job->deferred.Promise();
  }
  return startAsync(env, std::move(job), "AuthPubkey", &completeAuthPubkey);
}
