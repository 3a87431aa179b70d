// The arguments init and auth_pubkey share, read into the job that carries
// them to the login records.
#ifndef VARN_NODE_EXT_LOGIN_ARGUMENTS_H
#define VARN_NODE_EXT_LOGIN_ARGUMENTS_H

#include <napi.h>

#include <cstdint>
#include <string>

#include "node_ext/async_frame.h"
#include "node_ext/conventions.h"
#include "node_ext/records.h"

namespace VarnNode {

struct LoginJob : AsyncJob {
  using AsyncJob::AsyncJob;
  LoginFields fields;
  SdkOutcome outcome;
  // What the login left in the token state, copied on the SDK's side.
  std::string token;
  uint32_t tokenValidSeconds = 0;
};

// Checks (first, second, third[, host[, port]]) and reads them, with the
// default host and port for missing ones. A third argument or host name that
// does not fit its field is refused rather than cut. On a fault `deferred`
// is rejected with {code: -1, message} and false is returned.
bool readLoginArguments(const Napi::CallbackInfo &info,
                        const Napi::Promise::Deferred &deferred,
                        LoginFields &fields);

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_LOGIN_ARGUMENTS_H
