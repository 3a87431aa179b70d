// The arguments init and auth_pubkey share, read into what carries them to
// the login records, and what a login hands back.
#ifndef VARN_NODE_EXT_LOGIN_ARGUMENTS_H
#define VARN_NODE_EXT_LOGIN_ARGUMENTS_H

#include <napi.h>

#include <cstdint>
#include <string>

#include "node_ext/records.h"
#include "node_ext/results.h"

namespace VarnNode {

struct LoginCall {
  LoginFields fields;
  SdkOutcome outcome;
  // What the login left in the token state, copied on the SDK's side.
  std::string token;
  uint32_t tokenValidSeconds = 0;
};

// Checks (first, second, third[, host[, port]]) and reads them, with the
// default host and port for missing ones. A third argument or host name that
// does not fit its field is refused rather than cut. Returns the fault's
// message, or nullptr.
const char *readLoginArguments(const Napi::CallbackInfo &info, LoginCall &call);

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_LOGIN_ARGUMENTS_H
