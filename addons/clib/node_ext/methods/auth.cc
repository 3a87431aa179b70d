// auth and auth_pubkey: logging in and keeping the token.
#include "diagnostics/console.h"
#include "node_ext/login_arguments.h"
#include "node_ext/login_state.h"
#include "node_ext/method_row.h"
#include "qcf.h"

using namespace VarnNode;

namespace {

// The token is read only after a successful login; a null one reads as "".
void keepLogin(LoginCall &call, int code) {
  call.outcome.set(code);
  if (code != 0) return;
  call.token = loginToken != nullptr ? loginToken : "";
  call.tokenValidSeconds = loginTokenValidSeconds;
}

void callAuth(LoginCall &call) {
  keepLogin(call, QCF_Auth(&loginToken, &loginTokenValidSeconds));
}

void callAuthPubkey(LoginCall &call) {
  writeLoginRecords(call.fields, serverInfo, userInfo, cspInfo);
  keepLogin(call, QCF_Auth_pubkey_WithInfo(&serverInfo, &userInfo, &loginToken,
                                           &loginTokenValidSeconds));
}

// {token, tokenValidSeconds, code, message}.
Napi::Value loginResult(Napi::Env env, LoginCall &call) {
  bool ok = call.outcome.code == 0;
  Napi::Object result = Napi::Object::New(env);
  result.Set("token", call.token);
  result.Set("tokenValidSeconds",
             Napi::Number::New(env, call.tokenValidSeconds));
  result.Set("code", Napi::Number::New(env, call.outcome.code));
  result.Set("message", ok ? msg::kSucc : call.outcome.errorText.c_str());
  return result;
}

Napi::Value authPubkeyResult(Napi::Env env, LoginCall &call) {
  if (call.outcome.code != 0) {
    consolePrint("【认证】入网测试失败，返回：%#X（%s）\n",
                 static_cast<unsigned int>(call.outcome.code),
                 call.outcome.errorText.c_str());
  }
  return loginResult(env, call);
}

// auth ignores its arguments.
constexpr MethodRow<LoginCall> kAuth{"Auth", readNothing<LoginCall>, callAuth,
                                     loginResult};
constexpr MethodRow<LoginCall> kAuthPubkey{"AuthPubkey", readLoginArguments,
                                           callAuthPubkey, authPubkeyResult};

}  // namespace

Napi::Value VarnKtPlugin::auth(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kAuth);
}

Napi::Value VarnKtPlugin::auth_pubkey(const Napi::CallbackInfo &info) {
  return promiseMethod(info, kAuthPubkey);
}
