// Process-wide SDK session state shared by every VarnKtPlugin instance. It is
// touched only on the JavaScript thread, so it needs no lock.
#ifndef VARN_NODE_EXT_LOGIN_STATE_H
#define VARN_NODE_EXT_LOGIN_STATE_H

#include <cstdint>

#include "qcf.h"

namespace VarnNode {

// Login records handed to the SDK by init and auth_pubkey; zero at load and
// kept across finish.
extern QCF_ServerInfo serverInfo;
extern QCF_UserInfo userInfo;
extern QCF_CspInfo cspInfo;

// The SDK's token text (owned by the SDK) and its lifetime, written by the
// logins and cleared by finish.
extern char *loginToken;
extern uint32_t loginTokenValidSeconds;

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_LOGIN_STATE_H
