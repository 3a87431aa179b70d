// writeLog itself, called `count` times in a row from native code, so that
// its records per second are not diluted by one JavaScript call per record.
#include <string>

#include "baselines.h"
#include "diagnostics/log_file.h"
#include "napi_util.h"

namespace bench {
namespace {

// writeLogRecords(message, count)
napi_value writeLogRecords(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  getArgs(env, info, argv);
  std::string message = utf8(env, argv[0]);
  uint32_t count = uint32(env, argv[1]);
  for (uint32_t n = 0; n < count; ++n) {
    VarnNode::writeLog(message.data(), message.size());
  }
  return nullptr;
}

}  // namespace

void defineLogRecords(napi_env env, napi_value exports) {
  defineFunctions(env, exports, {{"writeLogRecords", writeLogRecords}});
}

}  // namespace bench
