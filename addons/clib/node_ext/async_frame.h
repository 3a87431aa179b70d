// The promise frame shared by every asynchronous method.
//
// An operation has two halves: callSdk, which makes the SDK calls and keeps
// what they answered in the job (no Node-API), and settle, which builds the
// result on the JavaScript thread, prints and resolves. The method fills a
// job and calls startAsync.
//
// By default a detached worker thread hands the job straight back through a
// thread-safe function and does nothing else: both halves then run on the
// JavaScript thread, so SDK calls never overlap. With the SDK thread on, the
// SDK half runs there, in call order, and the settling half follows through
// the dispatcher.
#ifndef VARN_NODE_EXT_ASYNC_FRAME_H
#define VARN_NODE_EXT_ASYNC_FRAME_H

#include <napi.h>

#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "node_ext/sdk_calls.h"

namespace VarnNode {

// First member of every job: the promise the settling half resolves.
struct AsyncJob {
  explicit AsyncJob(Napi::Promise::Deferred d) : deferred(std::move(d)) {}
  Napi::Promise::Deferred deferred;
};

template <typename Job>
struct AsyncOperation {
  const char *resourceName;
  void (*callSdk)(Job &job);
  void (*settle)(Napi::Env env, Job &job);
};

namespace detail {
Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName);
// Runs `sdkHalf` on the SDK thread, then `settleHalf` on the JavaScript
// thread from the dispatcher; the loop stays alive until it has.
void queueOnSdkThread(napi_env env, std::function<void()> sdkHalf,
                      std::function<void(Napi::Env)> settleHalf);
}  // namespace detail

// Hands `job` on and returns its pending promise, which `operation.settle`
// resolves on a later turn of the event loop.
template <typename Job>
Napi::Promise startAsync(Napi::Env env, std::unique_ptr<Job> job,
                         const AsyncOperation<Job> &operation) {
  Napi::Promise promise = job->deferred.Promise();
  if (sdkThreadEnabled()) {
    std::shared_ptr<Job> shared(std::move(job));
    auto callSdk = operation.callSdk;
    auto settle = operation.settle;
    detail::queueOnSdkThread(
        env, [shared, callSdk] { callSdk(*shared); },
        [shared, settle](Napi::Env callEnv) { settle(callEnv, *shared); });
    return promise;
  }
  Napi::ThreadSafeFunction tsfn =
      detail::makeHandOverFunction(env, operation.resourceName);
  Job *handed = job.release();
  auto handOver = [tsfn, handed, operation]() mutable {
    napi_status status = tsfn.BlockingCall(
        handed, [operation](Napi::Env callEnv, Napi::Function, Job *owned) {
          std::unique_ptr<Job> done(owned);
          runSdkCall([&] { operation.callSdk(*done); });
          operation.settle(callEnv, *done);
        });
    // Refused only while the environment closes: the job will never run.
    if (status != napi_ok) delete handed;
    tsfn.Release();
  };
  try {
    std::thread(handOver).detach();
  } catch (...) {
    // No thread to be had (std::system_error, or std::bad_alloc for its
    // state): queue the job from here instead, which the thread-safe
    // function allows; the promise still settles on a later turn.
    handOver();
  }
  return promise;
}

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_ASYNC_FRAME_H
