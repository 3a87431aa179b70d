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

// The token is read only after a successful login; a null one reads as "".
void keepLogin(LoginJob &job, int code) {
  job.outcome.set(code);
  if (code != 0) return;
  job.token = loginToken != nullptr ? loginToken : "";
  job.tokenValidSeconds = loginTokenValidSeconds;
}

void callAuth(LoginJob &job) {
  keepLogin(job, QCF_Auth(&loginToken, &loginTokenValidSeconds));
}

void callAuthPubkey(LoginJob &job) {
  writeLoginRecords(job.fields, serverInfo, userInfo, cspInfo);
  keepLogin(job, QCF_Auth_pubkey_WithInfo(&serverInfo, &userInfo, &loginToken,
                                          &loginTokenValidSeconds));
}

// {token, tokenValidSeconds, code, message}.
void settleLogin(Napi::Env env, LoginJob &job) {
  bool ok = job.outcome.code == 0;
  Napi::Object result = Napi::Object::New(env);
  result.Set("token", job.token);
  result.Set("tokenValidSeconds",
             Napi::Number::New(env, job.tokenValidSeconds));
  result.Set("code", Napi::Number::New(env, job.outcome.code));
  result.Set("message", ok ? msg::kSucc : job.outcome.errorText.c_str());
  job.deferred.Resolve(result);
}

void settleAuthPubkey(Napi::Env env, LoginJob &job) {
  if (job.outcome.code != 0) {
    consolePrint("【认证】入网测试失败，返回：%#X（%s）\n",
                 static_cast<unsigned int>(job.outcome.code),
                 job.outcome.errorText.c_str());
  }
  settleLogin(env, job);
}

constexpr AsyncOperation<LoginJob> kAuth{"Auth", callAuth, settleLogin};
constexpr AsyncOperation<LoginJob> kAuthPubkey{"AuthPubkey", callAuthPubkey,
                                               settleAuthPubkey};

}  // namespace

Napi::Value VarnKtPlugin::auth(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  // Arguments are ignored.
  auto job = std::make_unique<LoginJob>(Napi::Promise::Deferred::New(env));
  return startAsync(env, std::move(job), kAuth);
}

Napi::Value VarnKtPlugin::auth_pubkey(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (instanceMissing(info)) return throwArgError(env, msg::kInstanceNull);
  auto job = std::make_unique<LoginJob>(Napi::Promise::Deferred::New(env));
  if (!readLoginArguments(info, job->deferred, job->fields)) {
    return job->deferred.Promise();
  }
  return startAsync(env, std::move(job), kAuthPubkey);
}
