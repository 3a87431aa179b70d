// The promise-and-worker frame shared by every asynchronous method.
//
// The method fills a job and calls startAsync. A detached worker thread hands
// the job straight back through a thread-safe function and does nothing else:
// the completion, with its SDK call, runs on the JavaScript thread, so SDK
// calls never overlap and the process-wide login state needs no lock.
#ifndef VARN_NODE_EXT_ASYNC_FRAME_H
#define VARN_NODE_EXT_ASYNC_FRAME_H

#include <napi.h>

#include <memory>
#include <thread>
#include <utility>

namespace VarnNode {

// First member of every job: the promise the completion settles.
struct AsyncJob {
  explicit AsyncJob(Napi::Promise::Deferred d) : deferred(std::move(d)) {}
  Napi::Promise::Deferred deferred;
};

template <typename Job>
using Completion = void (*)(Napi::Env env, Job &job);

namespace detail {
Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName);
}  // namespace detail

// Hands `job` to a worker thread and returns the job's pending promise.
// `complete` runs later on the JavaScript thread and must resolve it.
template <typename Job>
Napi::Promise startAsync(Napi::Env env, std::unique_ptr<Job> job,
                         const char *resourceName, Completion<Job> complete) {
  Napi::Promise promise = job->deferred.Promise();
  Napi::ThreadSafeFunction tsfn =
      detail::makeHandOverFunction(env, resourceName);
  Job *handed = job.release();
  auto handOver = [tsfn, handed, complete]() mutable {
    napi_status status = tsfn.BlockingCall(
        handed, [complete](Napi::Env callEnv, Napi::Function, Job *owned) {
          std::unique_ptr<Job> done(owned);
          complete(callEnv, *done);
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
