// The parts of bench_baselines.node, each defining its functions on the
// module's exports.
#ifndef VARN_BENCH_BASELINES_BASELINES_H
#define VARN_BENCH_BASELINES_BASELINES_H

#include <node_api.h>

#include <initializer_list>

namespace bench {

struct NamedFunction {
  const char *name;
  napi_callback callback;
};

void defineFunctions(napi_env env, napi_value exports,
                     std::initializer_list<NamedFunction> functions);

void defineSyncCalls(napi_env env, napi_value exports);
void defineAsyncCalls(napi_env env, napi_value exports);
void defineDeliveries(napi_env env, napi_value exports);
void defineLogRecords(napi_env env, napi_value exports);
void defineStandinControl(napi_env env, napi_value exports);
void defineDispatcherDirect(napi_env env, napi_value exports);

}  // namespace bench

#endif  // VARN_BENCH_BASELINES_BASELINES_H
