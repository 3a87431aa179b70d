#include "events/event_handler.h"

#include <node_api.h>

#include <thread>
#include <utility>

#include "events/live_list.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace {

constexpr const char kErrorEvent[] = "onCaptureError";
constexpr const char kMessageEvent[] = "onCaptureMessage";

// Never destroyed: SDK threads may still raise events while the process
// runs its static destructors.
live_list<event_handler> &liveRegistries() {
  static auto *registries = new live_list<event_handler>;
  return *registries;
}

// Drops an exception a call left behind, so nothing stays pending.
void dropPendingException(napi_env env) {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    napi_value ignored = nullptr;
    napi_get_and_clear_last_exception(env, &ignored);
  }
}

// Calls `function` with `this` undefined and the arguments (code, message)
// or (message). The dispatcher runs jobs straight from the event loop,
// outside any JavaScript call, so the call gets its own handle scope, and a
// callback scope so that promise reactions and ticks the handler queues run
// when it returns, as after any other event callback. What the handler
// throws is dropped.
void callFromLoop(napi_env env, loop_async_resource &resource,
                  napi_ref function, const int32_t *code,
                  const std::string &message) {
  napi_handle_scope handles = nullptr;
  if (napi_open_handle_scope(env, &handles) != napi_ok) return;
  napi_callback_scope callbacks = nullptr;
  if (resource.openScope(env, &callbacks)) {
    napi_value callee = nullptr;
    napi_value self = nullptr;
    napi_value args[2] = {nullptr, nullptr};
    size_t argc = 0;
    bool ready = napi_get_reference_value(env, function, &callee) == napi_ok &&
                 callee != nullptr && napi_get_undefined(env, &self) == napi_ok;
    if (ready && code != nullptr) {
      ready = napi_create_int32(env, *code, &args[argc++]) == napi_ok;
    }
    if (ready) {
      ready = napi_create_string_utf8(env, message.data(), message.size(),
                                      &args[argc++]) == napi_ok;
    }
    napi_value ignored = nullptr;
    if (ready) napi_call_function(env, self, callee, argc, args, &ignored);
    dropPendingException(env);
    napi_close_callback_scope(env, callbacks);
  }
  dropPendingException(env);
  napi_close_handle_scope(env, handles);
}

}  // namespace

// What a queued delivery holds: the registry by id, never by address, so a
// registry destroyed meanwhile is not touched, and the thread the registry
// belongs to. Destroying it only frees memory.
struct event_handler::delivery {
  uint64_t registry;
  std::thread::id owner;
  const char *event;
  bool hasCode;
  int32_t code;
  std::string message;
};

event_handler::event_handler()
    : m_id(liveRegistries().add(this)), m_owner(std::this_thread::get_id()) {}

event_handler::~event_handler() { liveRegistries().remove(m_id); }

void event_handler::addEventHandler(const std::string &name,
                                    const Napi::ObjectReference &receiver,
                                    const Napi::FunctionReference &callback) {
  auto fresh =
      std::make_unique<callback_ref>(callback.Value(), receiver.Value());
  // Assigning releases the handler stored before, if any.
  m_handlers[name] = std::move(fresh);
}

void event_handler::captureError(int32_t code, const char *message) {
  try {
    post({m_id, m_owner, kErrorEvent, true, code,
          message != nullptr ? message : ""});
  } catch (...) {
  }
}

void event_handler::captureMessage(const char *message) {
  try {
    post({m_id, m_owner, kMessageEvent, false, 0,
          message != nullptr ? message : ""});
  } catch (...) {
  }
}

void event_handler::forEachLive(const std::function<void(event_sink &)> &fn) {
  liveRegistries().forEach(
      [&fn](uint64_t, event_handler &registry) { fn(registry); });
}

void event_handler::post(delivery event) noexcept {
  try {
    // A failed wake-up leaves the job queued for the next one.
    node_async_call::instance().post(
        [event = std::move(event)] { runDelivery(event); });
  } catch (...) {
  }
}

void event_handler::runDelivery(const delivery &event) {
  // The dispatcher runs jobs on the main thread. A registry of another
  // thread's environment (a worker's) must not be called from here.
  if (std::this_thread::get_id() != event.owner) return;
  // Jobs run on the JavaScript thread, the only one that destroys this
  // registry, so one found here lives until this job returns.
  const event_handler *registry = liveRegistries().find(event.registry);
  if (registry != nullptr) registry->deliver(event);
}

// The handler may replace or add handlers of this registry while it runs,
// so nothing of the entry is used once it has been called.
void event_handler::deliver(const delivery &event) const {
  // Looked up by a name made once: the map's key type would otherwise
  // build (and, for the longer name, allocate) a string per delivery.
  static const std::string errorEvent(kErrorEvent);
  static const std::string messageEvent(kMessageEvent);
  auto found =
      m_handlers.find(event.event == kErrorEvent ? errorEvent : messageEvent);
  if (found == m_handlers.end()) return;
  const callback_ref &entry = *found->second;
  callFromLoop(entry.receiver.Env(), m_asyncResource, entry.callback,
               event.hasCode ? &event.code : nullptr, event.message);
}

}  // namespace VarnNode
