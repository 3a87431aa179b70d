// Small raw Node-API helpers for the baselines: the least a native method
// has to do to read its arguments and build its result, with no checks.
#ifndef VARN_BENCH_BASELINES_NAPI_UTIL_H
#define VARN_BENCH_BASELINES_NAPI_UTIL_H

#include <node_api.h>

#include <cstdint>
#include <string>

namespace bench {

// Up to `N` arguments of the call; missing ones are undefined.
template <size_t N>
void getArgs(napi_env env, napi_callback_info info, napi_value (&argv)[N]) {
  size_t argc = N;
  napi_get_cb_info(env, info, &argc, argv, nullptr, nullptr);
}

inline std::string utf8(napi_env env, napi_value value) {
  size_t length = 0;
  napi_get_value_string_utf8(env, value, nullptr, 0, &length);
  std::string text(length, '\0');
  napi_get_value_string_utf8(env, value, &text[0], length + 1, &length);
  return text;
}

inline uint32_t uint32(napi_env env, napi_value value) {
  uint32_t number = 0;
  napi_get_value_uint32(env, value, &number);
  return number;
}

inline napi_value number(napi_env env, double value) {
  napi_value result = nullptr;
  napi_create_double(env, value, &result);
  return result;
}

inline napi_value string(napi_env env, const char *text) {
  napi_value result = nullptr;
  napi_create_string_utf8(env, text, NAPI_AUTO_LENGTH, &result);
  return result;
}

inline napi_value undefined(napi_env env) {
  napi_value result = nullptr;
  napi_get_undefined(env, &result);
  return result;
}

}  // namespace bench

#endif  // VARN_BENCH_BASELINES_NAPI_UTIL_H
