// bench_baselines.node: what the benchmark measures the add-on against, and
// the few stand-in controls it needs. Linked to the same libqcf as the
// add-on, so both reach one SDK.
#include <napi.h>

#include "baselines.h"

namespace bench {

void defineFunctions(napi_env env, napi_value exports,
                     std::initializer_list<NamedFunction> functions) {
  for (const NamedFunction &entry : functions) {
    napi_value function = nullptr;
    napi_create_function(env, entry.name, NAPI_AUTO_LENGTH, entry.callback,
                         nullptr, &function);
    napi_set_named_property(env, exports, entry.name, function);
  }
}

}  // namespace bench

namespace {

Napi::Object init(Napi::Env env, Napi::Object exports) {
  bench::defineSyncCalls(env, exports);
  bench::defineAsyncCalls(env, exports);
  bench::defineDeliveries(env, exports);
  bench::defineLogRecords(env, exports);
  bench::defineStandinControl(env, exports);
  bench::defineDispatcherDirect(env, exports);
  return exports;
}

}  // namespace

NODE_API_MODULE(bench_baselines, init)
