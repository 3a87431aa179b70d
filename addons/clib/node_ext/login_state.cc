#include "node_ext/login_state.h"

namespace VarnNode {

QCF_ServerInfo serverInfo = {};
QCF_UserInfo userInfo = {};
QCF_CspInfo cspInfo = {};

char *loginToken = nullptr;
uint32_t loginTokenValidSeconds = 0;

}  // namespace VarnNode
