#include "node_ext/session_hold.h"

#include "events/node_async_call.h"

namespace VarnNode {
namespace {
bool sessionOpen = false;
}

void openSession() {
  if (sessionOpen) return;
  sessionOpen = true;
  node_async_call::instance().hold();
}

void closeSession() {
  if (!sessionOpen) return;
  sessionOpen = false;
  node_async_call::instance().release();
}

}  // namespace VarnNode
