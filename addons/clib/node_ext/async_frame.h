// The promise frame shared by every asynchronous method.
//
// By default a detached worker thread hands the job straight back through a
// thread-safe function and does nothing else: the SDK half and the settling
// half then both run on the JavaScript thread, so SDK calls never overlap.
// With the SDK thread on, the SDK half runs there, in call order, and the
// settling half follows through the dispatcher.
#ifndef VARN_NODE_EXT_ASYNC_FRAME_H
#define VARN_NODE_EXT_ASYNC_FRAME_H

#include <napi.h>

#include <memory>
#include <utility>

#include "events/detached_thread.h"
#include "node_ext/sdk_calls.h"

namespace VarnNode {

template <typename Call>
struct MethodRow;

// One call of a promise method: the promise first, then what the row reads,
// what the SDK answers and what the result is built from.
template <typename Call>
struct AsyncJob {
  Napi::Promise::Deferred deferred;
  Call call;
};

namespace detail {
Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName);

// A promise method's call on its way through the SDK thread.
class sdk_thread_job {
 public:
  explicit sdk_thread_job(napi_env env) : m_env(env) {}
  virtual ~sdk_thread_job() = default;
  virtual void callSdk() = 0;
  virtual void settle(Napi::Env env) = 0;
  napi_env env() const { return m_env; }

 private:
  napi_env m_env;
};

// Runs the job's SDK half on the SDK thread, then its settling half on the
// JavaScript thread; the loop stays alive until it has.
void queueOnSdkThread(std::unique_ptr<sdk_thread_job> job);
}  // namespace detail

// Hands `job` on and returns its pending promise, which the row's result
// resolves on a later turn of the event loop.
template <typename Call>
Napi::Promise startAsync(Napi::Env env, std::unique_ptr<AsyncJob<Call>> job,
                         const MethodRow<Call> &row) {
  using Job = AsyncJob<Call>;
  Napi::Promise promise = job->deferred.Promise();
  if (sdkThreadEnabled()) {
    struct threaded : detail::sdk_thread_job {
      threaded(napi_env env, std::unique_ptr<Job> owned, MethodRow<Call> r)
          : sdk_thread_job(env), job(std::move(owned)), row(r) {}
      void callSdk() override { row.callSdk(job->call); }
      void settle(Napi::Env callEnv) override {
        job->deferred.Resolve(row.result(callEnv, job->call));
      }
      std::unique_ptr<Job> job;
      MethodRow<Call> row;
    };
    detail::queueOnSdkThread(
        std::make_unique<threaded>(env, std::move(job), row));
    return promise;
  }
  Napi::ThreadSafeFunction tsfn =
      detail::makeHandOverFunction(env, row.resourceName);
  Job *handed = job.release();
  auto handOver = [tsfn, handed, row]() mutable {
    napi_status status = tsfn.BlockingCall(
        handed, [row](Napi::Env callEnv, Napi::Function, Job *owned) {
          std::unique_ptr<Job> done(owned);
          runSdkCall([&] { row.callSdk(done->call); });
          done->deferred.Resolve(row.result(callEnv, done->call));
        });
    // Refused only while the environment closes: the job will never run.
    if (status != napi_ok) delete handed;
    tsfn.Release();
  };
  try {
    startDetachedThread(handOver);
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
