// The process-wide dispatcher, built while the module file is loaded (after
// the module registration, which is ordered ahead of static constructors)
// and destroyed at process exit.
#include "events/node_async_call.h"

namespace VarnNode {
namespace {
node_async_call processDispatcher;
}

node_async_call &node_async_call::instance() { return processDispatcher; }

}  // namespace VarnNode
