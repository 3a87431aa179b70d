// heap_probe.node (test-only, not packaged): the soak's view past the C
// allocator, which keeps freed memory. trim() hands its free pages back to the
// system (false where unsupported); inUse() gives the bytes handed out and not
// got back (under a sanitizer, its runtime's count), or null where unknown.
#include <napi.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__GNUC__) && !defined(_WIN32)
// Present when a sanitizer runtime is loaded.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void)
    __attribute__((weak));
#define VARN_SANITIZER_COUNT 1
#endif

static Napi::Value Trim(const Napi::CallbackInfo& info) {
#if defined(__GLIBC__)
  malloc_trim(0);
  return Napi::Boolean::New(info.Env(), true);
#else
  return Napi::Boolean::New(info.Env(), false);
#endif
}

static Napi::Value InUse(const Napi::CallbackInfo& info) {
  double bytes = -1;  // not known
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
  const struct mallinfo2 heap = mallinfo2();
  bytes = static_cast<double>(heap.uordblks + heap.hblkhd);
#endif
#if defined(VARN_SANITIZER_COUNT)
  if (__sanitizer_get_current_allocated_bytes != nullptr)
    bytes = static_cast<double>(__sanitizer_get_current_allocated_bytes());
#endif
  if (bytes < 0) return info.Env().Null();
  return Napi::Number::New(info.Env(), bytes);
}

static Napi::Object Init(Napi::Env env, Napi::Object exports) {
  exports.Set("trim", Napi::Function::New(env, Trim, "trim"));
  exports.Set("inUse", Napi::Function::New(env, InUse, "inUse"));
  return exports;
}

NODE_API_MODULE(heap_probe, Init)
