// The per-instance registry of JavaScript event handlers.
#ifndef VARN_EVENTS_EVENT_HANDLER_H
#define VARN_EVENTS_EVENT_HANDLER_H

#include <napi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>

#include "events/callback_ref.h"
#include "events/loop_async_resource.h"

namespace VarnNode {

// Where events enter a registry; callable from any thread.
class event_sink {
 public:
  virtual ~event_sink() = default;
  virtual void captureError(int32_t code, const char *message) = 0;
  virtual void captureMessage(const char *message) = 0;
};

// One handler per event name. Handlers are added and called on the
// JavaScript thread only; events may be captured on any thread and reach
// the handlers through the main-loop dispatcher, in the order captured.
class event_handler : public event_sink {
 public:
  // Joins the process-wide list of live registries.
  event_handler();
  // Leaves the list before releasing the handlers: deliveries still queued
  // for this registry find it gone and are dropped.
  ~event_handler() override;

  event_handler(const event_handler &) = delete;
  event_handler &operator=(const event_handler &) = delete;

  // Stores new references to the receiver's object and the callback's
  // function under `name`, releasing any handler stored there before.
  void addEventHandler(const std::string &name,
                       const Napi::ObjectReference &receiver,
                       const Napi::FunctionReference &callback);

  // Copy the message (null counts as empty) and post a delivery of
  // "onCaptureError" (code, message) or "onCaptureMessage" (message).
  // Never throw; an event that cannot be queued is lost.
  void captureError(int32_t code, const char *message) override;
  void captureMessage(const char *message) override;

  // Calls fn(registry) for every live registry, oldest first, from any
  // thread; no registry is destroyed meanwhile. `fn` must not create or
  // destroy a registry.
  static void forEachLive(const std::function<void(event_sink &)> &fn);

 private:
  struct delivery;

  void post(delivery event) noexcept;
  static void runDelivery(const delivery &event);
  void deliver(const delivery &event) const;

  uint64_t m_id;
  // The JavaScript thread of the environment the registry belongs to.
  std::thread::id m_owner;
  std::unordered_map<std::string, std::unique_ptr<callback_ref>> m_handlers;
  // Every delivery's callback scope is opened under it.
  mutable loop_async_resource m_asyncResource{"VarnKtPluginEvent"};
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_EVENT_HANDLER_H
