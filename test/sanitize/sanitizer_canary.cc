// sanitizer_canary.node: built only with VARN_SANITIZE. Each export commits
// one fault on purpose, so that scripts/test-sanitize.js can show that a
// fault in a module of ours is reported under the preloaded runtime and is
// not filtered away with the host's own leaks.
#include <node_api.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Blocks dropped without a release: one from our own frame, one allocated
// through a standard container's internals.
napi_value leak(napi_env env, napi_callback_info) {
  volatile char *lost = static_cast<char *>(std::malloc(48));
  lost[0] = 1;
  auto *text = new std::string(200, 'x');
  (void)text;
  lost = nullptr;
  napi_value result;
  napi_get_undefined(env, &result);
  return result;
}

// Reads one byte past a heap block (through memcpy, which ASan checks).
napi_value overflow(napi_env env, napi_callback_info) {
  char *block = static_cast<char *>(std::malloc(16));
  std::memset(block, 0, 16);
  volatile size_t past = 16;
  char byte = 0;
  std::memcpy(&byte, block + past, 1);
  std::free(block);
  napi_value result;
  napi_create_int32(env, byte, &result);
  return result;
}

napi_value signedOverflow(napi_env env, napi_callback_info) {
  volatile int big = 0x7fffffff;
  int sum = big + 1;
  napi_value result;
  napi_create_int32(env, sum, &result);
  return result;
}

}  // namespace

NAPI_MODULE_INIT() {
  const napi_property_descriptor exported[] = {
      {"leak", nullptr, leak, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"overflow", nullptr, overflow, nullptr, nullptr, nullptr, napi_default,
       nullptr},
      {"signedOverflow", nullptr, signedOverflow, nullptr, nullptr, nullptr,
       napi_default, nullptr},
  };
  napi_define_properties(env, exports, sizeof exported / sizeof exported[0],
                         exported);
  return exports;
}
