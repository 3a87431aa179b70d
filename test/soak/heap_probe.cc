// heap_probe.node: what the soak needs to see through the C allocator, which
// keeps freed memory for reuse. Test-only; not part of the package.
//   trim()   hands the allocator's free pages back to the system, so that
//            the resident set shows what is in use; false where unsupported
//   inUse()  bytes the C allocator has handed out and not got back, or null
//            where that cannot be told. Under a sanitizer, whose allocator
//            replaces glibc's, its own count.
#include <node_api.h>

#include <cstddef>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__GNUC__) && !defined(_WIN32)
// Present when a sanitizer runtime is loaded.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void)
    __attribute__((weak));
#define VARN_SANITIZER_COUNT 1
#endif

namespace {

napi_value trim(napi_env env, napi_callback_info) {
  bool done = false;
#if defined(__GLIBC__)
  malloc_trim(0);
  done = true;
#endif
  napi_value result;
  napi_get_boolean(env, done, &result);
  return result;
}

napi_value inUse(napi_env env, napi_callback_info) {
  napi_value result;
#if defined(VARN_SANITIZER_COUNT)
  if (__sanitizer_get_current_allocated_bytes != nullptr) {
    napi_create_double(
        env, static_cast<double>(__sanitizer_get_current_allocated_bytes()),
        &result);
    return result;
  }
#endif
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
  const struct mallinfo2 info = mallinfo2();
  napi_create_double(env, static_cast<double>(info.uordblks + info.hblkhd),
                     &result);
#else
  napi_get_null(env, &result);
#endif
  return result;
}

}  // namespace

NAPI_MODULE_INIT() {
  const napi_property_descriptor exported[] = {
      {"trim", nullptr, trim, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"inUse", nullptr, inUse, nullptr, nullptr, nullptr, napi_default,
       nullptr},
  };
  napi_define_properties(env, exports, sizeof exported / sizeof exported[0],
                         exported);
  return exports;
}
