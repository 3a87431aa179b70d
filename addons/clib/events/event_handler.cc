#include "events/event_handler.h"

#include <atomic>
#include <map>
#include <utility>

#include "events/loop_call.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace {

constexpr size_t kErrorEvent = 0;
constexpr size_t kMessageEvent = 1;
constexpr size_t kEventCount = 2;

const std::string &eventName(size_t event) {
  // Made once: looking a handler up by a literal would build a string per
  // delivery.
  static const std::string *names =
      new std::string[kEventCount]{"onCaptureError", "onCaptureMessage"};
  return names[event];
}

// Which event a handler name stands for, or kEventCount for a name that is
// stored but never raised.
size_t eventOf(const std::string &name) {
  for (size_t event = 0; event < kEventCount; ++event) {
    if (name == eventName(event)) return event;
  }
  return kEventCount;
}

// The registries that have a handler for each event, by id, oldest first.
// JavaScript thread only; SDK threads read just the counts.
std::map<uint64_t, event_handler *> &listeners(size_t event) {
  static auto *maps = new std::map<uint64_t, event_handler *>[kEventCount];
  return maps[event];
}
std::atomic<size_t> listenerCount[kEventCount];

// Ids are never reused, so a delivery can tell registries made after its
// event was raised.
std::atomic<uint64_t> lastRegistryId{0};

// Under which deliveries open their callback scopes. Never destroyed: it
// lives as long as the environment, which ends with the process.
loop_async_resource &deliveryResource() {
  static auto *resource = new loop_async_resource("VarnKtPluginEvent");
  return *resource;
}

}  // namespace

// One queued event for every listening registry. It names registries by id,
// never by address, and holds nothing of theirs.
struct event_handler::delivery {
  size_t event;
  uint64_t newestRegistry;
  int32_t code;
  std::string message;
};

event_handler::event_handler() : m_id(++lastRegistryId) {}

event_handler::~event_handler() {
  for (size_t event = 0; event < kEventCount; ++event) listen(event, false);
}

void event_handler::listen(size_t event, bool on) {
  auto &map = listeners(event);
  bool changed = on ? map.emplace(m_id, this).second : map.erase(m_id) > 0;
  if (changed) listenerCount[event].store(map.size());
}

void event_handler::addEventHandler(const std::string &name,
                                    const Napi::ObjectReference &receiver,
                                    const Napi::FunctionReference &callback) {
  auto fresh =
      std::make_unique<callback_ref>(callback.Value(), receiver.Value());
  // Assigning releases the handler stored before, if any.
  m_handlers[name] = std::move(fresh);
  size_t event = eventOf(name);
  if (event < kEventCount) listen(event, true);
}

bool event_handler::removeEventHandler(const std::string &name,
                                       const Napi::Function *callback) {
  auto found = m_handlers.find(name);
  if (found == m_handlers.end()) return false;
  if (callback != nullptr &&
      !found->second->callback.Value().StrictEquals(*callback)) {
    return false;
  }
  m_handlers.erase(found);
  size_t event = eventOf(name);
  if (event < kEventCount) listen(event, false);
  return true;
}

void event_handler::raiseError(int32_t code, const char *message) noexcept {
  if (listenerCount[kErrorEvent].load() == 0) return;
  try {
    delivery event{kErrorEvent, lastRegistryId.load(), code,
                   message != nullptr ? message : ""};
    node_async_call::instance().post(
        [event = std::move(event)] { deliverToListeners(event); });
  } catch (...) {
    // No memory for the event: it is lost, and nothing unwinds into the SDK.
  }
}

void event_handler::raiseMessage(const char *message) noexcept {
  if (listenerCount[kMessageEvent].load() == 0) return;
  try {
    delivery event{kMessageEvent, lastRegistryId.load(), 0,
                   message != nullptr ? message : ""};
    node_async_call::instance().post(
        [event = std::move(event)] { deliverToListeners(event); });
  } catch (...) {
  }
}

// A handler may add, remove or replace handlers, and so change the map,
// while it runs: each step looks the next registry up afresh.
void event_handler::deliverToListeners(const delivery &event) {
  const auto &map = listeners(event.event);
  uint64_t next = 1;
  for (;;) {
    auto found = map.lower_bound(next);
    if (found == map.end() || found->first > event.newestRegistry) return;
    next = found->first + 1;
    found->second->deliver(event);
  }
}

void event_handler::deliver(const delivery &event) {
  auto found = m_handlers.find(eventName(event.event));
  if (found == m_handlers.end()) return;
  const callback_ref &entry = *found->second;
  callFromLoop(entry.receiver.Env(), deliveryResource(), [&](Napi::Env env) {
    // The call may replace the entry: nothing of it is used after.
    Napi::Function handler = entry.callback.Value();
    Napi::String text = Napi::String::New(env, event.message);
    if (event.event == kErrorEvent) {
      callDroppingErrors(handler, {Napi::Number::New(env, event.code), text});
    } else {
      callDroppingErrors(handler, {text});
    }
  });
}

}  // namespace VarnNode
