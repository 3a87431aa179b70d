// Initialisation, login, shutdown and the operations that need a login.
#include <string>

#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "key_store.h"
#include "mode.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

namespace {

// Writes the login outputs: the session's token and validity, or what the
// script gives in their place.
int WriteLogin(const Script* script, char** token, uint32_t* validSeconds) {
  if (!token || !validSeconds) return kInvalidArgument;
  const bool scriptedToken = script && script->hasBytes;
  char* issued = Store().Login(
      scriptedToken && !script->bytesNull ? &script->bytes : nullptr);
  *token = scriptedToken && script->bytesNull ? nullptr : issued;
  *validSeconds = script && script->number
                      ? static_cast<uint32_t>(*script->number)
                      : kTokenValidSeconds;
  return kOk;
}

}  // namespace

extern "C" {

QCF_API int QCF_Init(QCF_ServerInfo* server, QCF_UserInfo* user,
                     QCF_CspInfo* csp) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Init",
                    {RecordArg(server), RecordArg(user), RecordArg(csp)});
    if (Simulating()) {
      return frame.Simulate([&] { return Sim().Init(server, user, csp); });
    }
    if (!server || !user || !csp) {
      return frame.Finish(kInvalidArgument, kLogLine);
    }
    return frame.Finish(kOk, kLogLine);
  });
}

QCF_API int QCF_Finish(void) {
  return Guarded<int>(kInternalError, [] {
    CallFrame frame("QCF_Finish", {});
    if (Simulating()) return frame.Simulate([&] { return Sim().Finish(); });
    Store().EndSession();
    return frame.Finish(kOk, kLogLine);
  });
}

QCF_API int QCF_Auth(char** token, uint32_t* validSeconds) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Auth", {HandleArg(token), HandleArg(validSeconds)});
    if (Simulating()) {
      return frame.Simulate(
          [&] { return Sim().Login(nullptr, token, validSeconds); });
    }
    return frame.Finish(WriteLogin(frame.script(), token, validSeconds),
                        kLogLine);
  });
}

QCF_API int QCF_Auth_pubkey_WithInfo(QCF_ServerInfo* server, QCF_UserInfo* user,
                                     char** token, uint32_t* validSeconds) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_Auth_pubkey_WithInfo",
                    {RecordArg(server), RecordArg(user), HandleArg(token),
                     HandleArg(validSeconds)});
    if (Simulating()) {
      return frame.Simulate([&] {
        return server && user ? Sim().Login(server, token, validSeconds)
                              : Refused(kInvalidArgument);
      });
    }
    if (!server || !user) return frame.Finish(kInvalidArgument, kLogLine);
    return frame.Finish(WriteLogin(frame.script(), token, validSeconds),
                        kLogLine);
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
    if (Simulating()) {
      return frame.Simulate([&] {
        return Sim().FillKey(serverAddr, port, userTokenHandle, item,
                             overWriteFlag);
      });
    }
    if (!serverAddr || !userTokenHandle || !item || !overWriteFlag) {
      return frame.Finish(kInvalidArgument, kLogLine);
    }
    return frame.Finish(kOk, kLogLine);
  });
}

QCF_API int QCF_ReFillKey(const char* token, uint32_t second, uint32_t third) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ReFillKey",
                    {TextArg(token), NumberArg(second), NumberArg(third)});
    if (Simulating()) {
      return frame.Simulate(
          [&] { return Sim().ReFillKey(token, second, third); });
    }
    return frame.Finish(Store().CheckToken(token), kLogLine);
  });
}

}  // extern "C"
