// sanitizer_canary.node: built only with VARN_SANITIZE. Each export commits
// one fault on purpose, so that scripts/test-sanitize.js can show that a
// fault in a module of ours is reported under the preloaded runtime and is
// not filtered away with the host's own leaks.
#include <napi.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Blocks dropped without a release: one from our own frame, one allocated
// through a standard container's internals.
static Napi::Value Leak(const Napi::CallbackInfo &info) {
  volatile char *lost = static_cast<char *>(std::malloc(48));
  lost[0] = 1;
  auto *text = new std::string(200, 'x');
  (void)text;
  lost = nullptr;
  return info.Env().Undefined();
}

// Reads one byte past a heap block (through memcpy, which ASan checks).
static Napi::Value Overflow(const Napi::CallbackInfo &info) {
  char *block = static_cast<char *>(std::malloc(16));
  std::memset(block, 0, 16);
  volatile size_t past = 16;
  char byte = 0;
  std::memcpy(&byte, block + past, 1);
  std::free(block);
  return Napi::Number::New(info.Env(), byte);
}

static Napi::Value SignedOverflow(const Napi::CallbackInfo &info) {
  volatile int big = 0x7fffffff;
  return Napi::Number::New(info.Env(), big + 1);
}

static Napi::Object Init(Napi::Env env, Napi::Object exports) {
  exports["leak"] = Napi::Function::New(env, Leak);
  exports["overflow"] = Napi::Function::New(env, Overflow);
  exports["signedOverflow"] = Napi::Function::New(env, SignedOverflow);
  return exports;
}

NODE_API_MODULE(sanitizer_canary, Init)
