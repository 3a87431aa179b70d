#include "events/sdk_events.h"

#include "events/event_handler.h"

namespace VarnNode {

// The walk holds the list of live registries locked while it posts, so
// events raised on different threads reach every registry in one order.
void raiseSdkError(int32_t code, const char *message) noexcept {
  try {
    event_handler::forEachLive([code, message](event_sink &sink) {
      sink.captureError(code, message);
    });
  } catch (...) {
  }
}

void raiseSdkMessage(const char *message) noexcept {
  try {
    event_handler::forEachLive(
        [message](event_sink &sink) { sink.captureMessage(message); });
  } catch (...) {
  }
}

}  // namespace VarnNode
