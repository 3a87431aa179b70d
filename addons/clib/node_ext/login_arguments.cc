#include "node_ext/login_arguments.h"

#include "node_ext/arguments.h"
#include "node_ext/messages.h"

namespace VarnNode {

const char *readLoginArguments(const Napi::CallbackInfo &info,
                               LoginCall &call) {
  if (const char *fault =
          firstArgFault(info, 3,
                        {{0, JsType::Number, msg::kFirstNumber},
                         {1, JsType::String, msg::kSecondString},
                         {2, JsType::String, msg::kThirdString},
                         {3, JsType::String, msg::kFourthString, true},
                         {4, JsType::Number, msg::kFifthNumber, true}})) {
    return fault;
  }
  LoginFields &fields = call.fields;
  fields.first = uint32Arg(info[0]);
  fields.second = stringArg(info[1]);  // cut to its field when written
  fields.third = stringArg(info[2]);
  fields.host = info.Length() >= 4 ? stringArg(info[3]) : kDefaultHost;
  fields.port = info.Length() >= 5 ? uint32Arg(info[4]) : kDefaultPort;

  // A cut host name or third text would send the SDK a different value than
  // the caller gave, so these are refused; the NUL needs the last byte.
  if (fields.third.size() >= sizeof(QCF_UserInfo::third)) {
    return msg::kThirdTooLong31;
  }
  if (fields.host.size() >= sizeof(QCF_ServerInfo::host)) {
    return msg::kFourthTooLong31;
  }
  return nullptr;
}

}  // namespace VarnNode
