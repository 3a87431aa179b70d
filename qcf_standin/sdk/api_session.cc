// Initialisation, login, shutdown and the operations that need a login.
#include <string>

#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

namespace {

// Scripted login outputs: the token (which the session then takes as its
// own) and its validity.
int WriteLogin(const Script& script, char** token, uint32_t* validSeconds) {
  if (!token || !validSeconds) return kInvalidArgument;
  if (script.hasBytes) {
    *token = script.bytesNull ? nullptr : Sim().AdoptToken(script.bytes);
  }
  if (script.number) *validSeconds = static_cast<uint32_t>(*script.number);
  return kOk;
}

}  // namespace

extern "C" {

QCF_API int QCF_Init(QCF_ServerInfo* server, QCF_UserInfo* user,
                     QCF_CspInfo* csp) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Init",
                    {RecordArg(server), RecordArg(user), RecordArg(csp)});
    return frame.Answer([&] { return Sim().Init(server, user, csp); });
  });
}

QCF_API int QCF_Finish(void) {
  return Guarded<int>(kInternalError, [] {
    CallFrame frame("QCF_Finish", {});
    return frame.Answer([&] { return Sim().Finish(); });
  });
}

QCF_API int QCF_Auth(char** token, uint32_t* validSeconds) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Auth", {HandleArg(token), HandleArg(validSeconds)});
    return frame.Answer(
        [&] { return Sim().Login(nullptr, token, validSeconds); },
        [&](const Script& script) {
          return WriteLogin(script, token, validSeconds);
        });
  });
}

QCF_API int QCF_Auth_pubkey_WithInfo(QCF_ServerInfo* server, QCF_UserInfo* user,
                                     char** token, uint32_t* validSeconds) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Auth_pubkey_WithInfo",
                    {RecordArg(server), RecordArg(user), HandleArg(token),
                     HandleArg(validSeconds)});
    return frame.Answer(
        [&] {
          return server && user ? Sim().Login(server, token, validSeconds)
                                : Refused(kInvalidArgument);
        },
        [&](const Script& script) {
          return WriteLogin(script, token, validSeconds);
        });
  });
}

QCF_API int QCF_FillKey_WithPubkey(const char* serverAddr, uint32_t port,
                                   uint32_t serverType,
                                   const char* userTokenHandle,
                                   QCF_FillKeyItem* item,
                                   uint32_t* overWriteFlag) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_FillKey_WithPubkey",
                    {TextArg(serverAddr), NumberArg(port),
                     NumberArg(serverType), TextArg(userTokenHandle),
                     RecordArg(item), NumberAtArg(overWriteFlag)});
    return frame.Answer([&] {
      return Sim().FillKey(serverAddr, port, userTokenHandle, item,
                           overWriteFlag);
    });
  });
}

QCF_API int QCF_ReFillKey(const char* token, uint32_t second, uint32_t third) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ReFillKey",
                    {TextArg(token), NumberArg(second), NumberArg(third)});
    return frame.Answer([&] { return Sim().ReFillKey(token, second, third); });
  });
}

}  // extern "C"
