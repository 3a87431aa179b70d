// Baselines of the synchronous methods: each makes the same SDK call as the
// add-on's method and builds the same result, with raw Node-API and nothing
// else (no instance or argument checks, no log record, no path conversion).
#include <cstring>
#include <string>

#include "baselines.h"
#include "napi_util.h"
#include "node_ext/messages.h"
#include "qcf.h"

namespace bench {
namespace {

char *g_token = nullptr;

napi_value hello(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  getArgs(env, info, argv);
  std::string text = utf8(env, argv[0]);
  text += " world";
  napi_value result = nullptr;
  napi_create_string_utf8(env, text.data(), text.size(), &result);
  return result;
}

napi_value setCustomConfig(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  getArgs(env, info, argv);
  std::string key = utf8(env, argv[0]);
  std::string value = utf8(env, argv[1]);
  return number(env, QCF_Custom(key.c_str(), value.c_str()));
}

// {code, message}, as the add-on's reFillKeySync answers.
napi_value reFillKeySync(napi_env env, napi_callback_info info) {
  napi_value argv[3];
  getArgs(env, info, argv);
  int code = QCF_ReFillKey(g_token, uint32(env, argv[1]), uint32(env, argv[2]));
  napi_value result = nullptr;
  napi_create_object(env, &result);
  napi_set_named_property(env, result, "code", number(env, code));
  const char *text =
      code == 0 ? VarnNode::msg::kReFillKeySuccess : QCF_ErrMessage(code);
  napi_set_named_property(env, result, "message", string(env, text));
  return result;
}

std::string coercedUtf8(napi_env env, napi_value object, const char *name) {
  napi_value value = nullptr;
  napi_get_named_property(env, object, name, &value);
  napi_coerce_to_string(env, value, &value);
  return utf8(env, value);
}

uint32_t coercedUint32(napi_env env, napi_value object, const char *name) {
  napi_value value = nullptr;
  napi_get_named_property(env, object, name, &value);
  napi_coerce_to_number(env, value, &value);
  return uint32(env, value);
}

void copyText(char *field, size_t width, const std::string &text) {
  size_t length = text.size() < width ? text.size() : width - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// Reads the parameter object as the add-on does and packs the same record.
napi_value fillKeySync(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  getArgs(env, info, argv);
  napi_value params = argv[0];
  std::string serverAddr = coercedUtf8(env, params, "serverAddr");
  uint32_t port = coercedUint32(env, params, "port");
  uint32_t serverType = coercedUint32(env, params, "serverType");
  std::string userTokenHandle = coercedUtf8(env, params, "userTokenHandle");
  uint32_t overWriteFlag = coercedUint32(env, params, "overWriteFlag");
  napi_value item = nullptr;
  napi_get_named_property(env, params, "fillkeyItem", &item);
  napi_coerce_to_object(env, item, &item);
  std::string appName = coercedUtf8(env, item, "appName");
  uint32_t keyLen = coercedUint32(env, item, "keyLen");
  std::string softkeyPath = coercedUtf8(env, item, "softkeyPath");

  QCF_FillKeyItem record;
  std::memset(&record, 0, sizeof record);
  copyText(record.appName, sizeof record.appName, appName);
  record.keyLen = keyLen;
  copyText(record.softkeyPath, sizeof record.softkeyPath, softkeyPath);
  copyText(record.pin1, sizeof record.pin1, "40615237");
  record.value1 = 5;
  copyText(record.pin2, sizeof record.pin2, "40615237");
  record.value2 = 5;
  int code =
      QCF_FillKey_WithPubkey(serverAddr.c_str(), port, serverType,
                             userTokenHandle.c_str(), &record, &overWriteFlag);
  return number(env, code);
}

// Logs in through the SDK, so that reFillKeySync passes the token the SDK
// handed out, as the add-on does after auth.
napi_value login(napi_env env, napi_callback_info) {
  uint32_t validSeconds = 0;
  return number(env, QCF_Auth(&g_token, &validSeconds));
}

}  // namespace

void defineSyncCalls(napi_env env, napi_value exports) {
  defineFunctions(env, exports,
                  {{"hello", hello},
                   {"setCustomConfig", setCustomConfig},
                   {"reFillKeySync", reFillKeySync},
                   {"fillKeySync", fillKeySync},
                   {"login", login}});
}

}  // namespace bench
