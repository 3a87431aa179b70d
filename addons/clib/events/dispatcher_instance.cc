// The process-wide dispatcher, built while the module file is loaded (after
// the module registration, which is ordered ahead of static constructors)
// and destroyed at process exit.
#include "events/js_thread.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace {
// Only the main thread may attach to the default loop, which it runs. Loaded
// first by a worker thread, the dispatcher stays detached and the module
// initialisation refuses to work.
uv_loop_t *defaultLoopOnMainThread() {
  return onProcessMainThread() ? uv_default_loop() : nullptr;
}

node_async_call processDispatcher{defaultLoopOnMainThread()};
}  // namespace

node_async_call &node_async_call::instance() { return processDispatcher; }

}  // namespace VarnNode
