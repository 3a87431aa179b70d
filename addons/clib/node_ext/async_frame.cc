#include "node_ext/async_frame.h"

#include <mutex>
#include <vector>

#include "events/loop_call.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace detail {
namespace {

void emptyBody(const Napi::CallbackInfo &) {}

// Settlements from the SDK thread open their callback scopes under it.
// Never destroyed: it lives as long as the environment.
loop_async_resource &settleResource() {
  static auto *resource = new loop_async_resource("VarnKtPluginCall");
  return *resource;
}

}  // namespace

Napi::ThreadSafeFunction makeHandOverFunction(Napi::Env env,
                                              const char *resourceName) {
  // The JavaScript side is never called; the completion does all the work.
  // A function from a plain callback carries no data, so node-addon-api
  // attaches no finalizer to it (a lambda's copy would need one per call).
  Napi::Function unused = Napi::Function::New<emptyBody>(env);
  return Napi::ThreadSafeFunction::New(env, unused, resourceName, 0, 1);
}

namespace {

// Calls whose SDK half is done, waiting for their settling half. The SDK
// thread adds to it; one dispatcher job at a time settles all there are,
// under one callback scope, so a thousand calls in flight cost one scope
// rather than a thousand. Never destroyed: the SDK thread may still finish
// a call while the process exits.
struct finished_calls {
  std::mutex lock;
  std::vector<sdk_thread_job *> calls;
};

finished_calls &finished() {
  static auto *list = new finished_calls;
  return *list;
}

void settleFinished() {
  std::vector<sdk_thread_job *> batch;
  {
    std::lock_guard<std::mutex> guard(finished().lock);
    batch.swap(finished().calls);
  }
  if (batch.empty()) return;
  node_async_call &dispatcher = node_async_call::instance();
  callFromLoop(batch.front()->env(), settleResource(), [&](Napi::Env env) {
    for (sdk_thread_job *&call : batch) {
      std::unique_ptr<sdk_thread_job> owned(call);
      call = nullptr;
      try {
        owned->settle(env);
      } catch (...) {
        // Its promise stays pending; the others still settle.
      }
      dropPendingException(env);
      dispatcher.release();
    }
  });
  // Left over only if the scopes could not be opened: nothing can settle.
  for (sdk_thread_job *call : batch) {
    if (call == nullptr) continue;
    delete call;
    dispatcher.release();
  }
}

void callAndHandBack(sdk_thread_job *job) {
  job->callSdk();
  bool first = false;
  {
    std::lock_guard<std::mutex> guard(finished().lock);
    first = finished().calls.empty();
    finished().calls.push_back(job);
  }
  if (first) node_async_call::instance().post(settleFinished);
}

}  // namespace

void queueOnSdkThread(std::unique_ptr<sdk_thread_job> job) {
  node_async_call &dispatcher = node_async_call::instance();
  dispatcher.hold();
  try {
    sdk_thread_job *raw = job.get();
    queueSdkCall([raw] { callAndHandBack(raw); });
    job.release();
  } catch (...) {
    dispatcher.release();
    throw;
  }
}

}  // namespace detail
}  // namespace VarnNode
