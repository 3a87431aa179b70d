// The stand-in controls the benchmark needs: answers at once without a
// record of the calls, a slow SDK, and SDK handler calls from threads of its
// own.
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "baselines.h"
#include "napi_util.h"
#include "qcf_control.h"

namespace bench {
namespace {

// Every function of the stand-in answering at once with a scripted 0, so
// that no call waits on the key file, and without recording the calls: a
// record that grows without end would cost both sides and hide the add-on's
// own memory use.
napi_value answerAtOnce(napi_env, napi_callback_info) {
  qcfctl_reset(0);
  qcfctl_set_recording(0);
  for (size_t i = 0; const char* name = qcfctl_function_name(i); ++i) {
    qcfctl_script_begin(name, -1);
    qcfctl_script_code(0);
    qcfctl_script_end();
  }
  return nullptr;
}

// setDelay(ms): from now on the stand-in's key-server and session calls
// take at least `ms` milliseconds (0: none). answerAtOnce puts it back to
// the environment's QCF_STANDIN_DELAY_MS.
napi_value setDelay(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  getArgs(env, info, argv);
  qcfctl_set_delay(uint32(env, argv[0]));
  return nullptr;
}

// emitAsync(kind, value, message, threads, count, wait): kind 0 log,
// 1 exception; returns at once, or when every call has been made.
napi_value emitAsync(napi_env env, napi_callback_info info) {
  napi_value argv[6];
  getArgs(env, info, argv);
  bool wait = false;
  napi_get_value_bool(env, argv[5], &wait);
  std::string message = utf8(env, argv[2]);
  qcfctl_emit_async(static_cast<int>(uint32(env, argv[0])),
                    static_cast<int>(uint32(env, argv[1])), message.c_str(),
                    static_cast<int>(uint32(env, argv[3])),
                    static_cast<int>(uint32(env, argv[4])), wait ? 1 : 0);
  return nullptr;
}

// Hands the C heap's free memory back to the system where the C library
// can (glibc), so that resident memory shows what is still in use.
napi_value trimHeap(napi_env, napi_callback_info) {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
  return nullptr;
}

napi_value joinThreads(napi_env, napi_callback_info) {
  qcfctl_join_threads();
  return nullptr;
}

}  // namespace

void defineStandinControl(napi_env env, napi_value exports) {
  defineFunctions(env, exports,
                  {{"answerAtOnce", answerAtOnce},
                   {"emitAsync", emitAsync},
                   {"joinThreads", joinThreads},
                   {"setDelay", setDelay},
                   {"trimHeap", trimHeap}});
}

}  // namespace bench
