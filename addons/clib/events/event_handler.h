// The per-instance registry of JavaScript event handlers.
#ifndef VARN_EVENTS_EVENT_HANDLER_H
#define VARN_EVENTS_EVENT_HANDLER_H

#include <cstdint>

namespace VarnNode {

// Where events enter a registry; callable from any thread.
class event_sink {
 public:
  virtual ~event_sink() = default;
  virtual void captureError(int32_t code, const char *message) = 0;
  virtual void captureMessage(const char *message) = 0;
};

class event_handler : public event_sink {
 public:
  void captureError(int32_t, const char *) override {}
  void captureMessage(const char *) override {}
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_EVENT_HANDLER_H
