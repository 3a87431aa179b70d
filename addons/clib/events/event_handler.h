// event_handler: the registry of one VarnKtPlugin instance's JavaScript
// event handlers, and the raising of SDK events to every registry that
// listens.
#ifndef VARN_EVENTS_EVENT_HANDLER_H
#define VARN_EVENTS_EVENT_HANDLER_H

#include <napi.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "events/callback_ref.h"

namespace VarnNode {

// One handler per event name. Registries are made, changed, called and
// destroyed on the JavaScript thread only; events may be raised on any
// thread and reach the handlers through the dispatcher, in the order raised.
class event_handler {
 public:
  event_handler();
  // Queued deliveries find the registry gone and skip it.
  ~event_handler();

  event_handler(const event_handler &) = delete;
  event_handler &operator=(const event_handler &) = delete;

  // Stores new references to the receiver's object and the callback's
  // function under `name`, releasing any handler stored there before. A
  // stored handler keeps its receiver alive.
  void addEventHandler(const std::string &name,
                       const Napi::ObjectReference &receiver,
                       const Napi::FunctionReference &callback);

  // Releases the handler under `name`; when `callback` is given, only if it
  // is that function. True when a handler was released.
  bool removeEventHandler(const std::string &name,
                          const Napi::Function *callback);

  // "onCaptureError" (code, message) and "onCaptureMessage" (message) to
  // every registry that has a handler for it when the delivery runs and
  // existed when the event was raised. A null message reads as "". Any
  // thread; never throw. Nothing is queued while no registry listens.
  static void raiseError(int32_t code, const char *message) noexcept;
  static void raiseMessage(const char *message) noexcept;

 private:
  struct delivery;

  void listen(size_t event, bool on);
  static void deliverToListeners(const delivery &event);
  void deliver(const delivery &event);

  uint64_t m_id;
  std::unordered_map<std::string, std::unique_ptr<callback_ref>> m_handlers;
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_EVENT_HANDLER_H
