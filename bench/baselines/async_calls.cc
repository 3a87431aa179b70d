// Baselines of the asynchronous methods.
//
// floorCall is the frame's own mechanism and nothing else: a promise, an
// empty function with a thread-safe function around it, and a detached
// thread that queues the resolution with one blocking call and releases the
// function; the JavaScript side resolves with undefined.
//
// workerCall resolves a promise from a node-addon-api AsyncWorker with an
// empty Execute: what a round through Node's thread pool costs.
#include <napi.h>

#include "baselines.h"
#include "events/detached_thread.h"
#include "napi_util.h"

namespace bench {
namespace {

napi_value emptyBody(napi_env, napi_callback_info) { return nullptr; }

void resolveUndefined(napi_env env, napi_value, void *, void *data) {
  if (env == nullptr) return;  // the environment is going away
  napi_resolve_deferred(env, static_cast<napi_deferred>(data), undefined(env));
}

napi_value floorCall(napi_env env, napi_callback_info) {
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  napi_create_promise(env, &deferred, &promise);
  napi_value function = nullptr;
  napi_create_function(env, "", 0, emptyBody, nullptr, &function);
  napi_threadsafe_function tsfn = nullptr;
  napi_create_threadsafe_function(env, function, nullptr, string(env, "Floor"),
                                  0, 1, nullptr, nullptr, nullptr,
                                  resolveUndefined, &tsfn);
  VarnNode::startDetachedThread([tsfn, deferred] {
    napi_call_threadsafe_function(tsfn, deferred, napi_tsfn_blocking);
    napi_release_threadsafe_function(tsfn, napi_tsfn_release);
  });
  return promise;
}

class ResolveWorker : public Napi::AsyncWorker {
 public:
  explicit ResolveWorker(Napi::Env env)
      : Napi::AsyncWorker(env, "Worker"),
        deferred_(Napi::Promise::Deferred::New(env)) {}

  Napi::Promise promise() const { return deferred_.Promise(); }

 protected:
  void Execute() override {}
  void OnOK() override { deferred_.Resolve(Env().Undefined()); }

 private:
  Napi::Promise::Deferred deferred_;
};

napi_value workerCall(napi_env env, napi_callback_info) {
  try {
    // Queued work deletes itself once OnOK has run.
    auto *worker = new ResolveWorker(Napi::Env(env));
    Napi::Promise promise = worker->promise();
    worker->Queue();
    return promise;
  } catch (const Napi::Error &error) {
    error.ThrowAsJavaScriptException();
    return nullptr;
  }
}

}  // namespace

void defineAsyncCalls(napi_env env, napi_value exports) {
  defineFunctions(env, exports,
                  {{"floorCall", floorCall}, {"workerCall", workerCall}});
}

}  // namespace bench
