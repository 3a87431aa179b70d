// Calls into JavaScript from native code: every delivery of an event, a log
// line or a settlement goes through here, with one way to drop what the
// callee throws.
#ifndef VARN_EVENTS_LOOP_CALL_H
#define VARN_EVENTS_LOOP_CALL_H

#include <napi.h>

#include <initializer_list>

#include "events/loop_async_resource.h"

namespace VarnNode {

// Takes an exception left pending in `env` off it, so that it never reaches
// a caller that did not make the failing call.
void dropPendingException(napi_env env) noexcept;

// Calls `function` with `args` and `this` undefined; what it throws is
// dropped. Needs an open handle scope. Takes the function's value rather
// than a reference, which the callee may release while it runs.
void callDroppingErrors(const Napi::Function &function,
                        std::initializer_list<napi_value> args) noexcept;

// A handle scope and a callback scope for a call from the event loop, where
// no JavaScript frame of ours is beneath it. When the scopes close, the
// host runs the microtasks and ticks the call queued, as after any other
// callback from native code.
class loop_scopes {
 public:
  loop_scopes(napi_env env, loop_async_resource &resource) noexcept;
  ~loop_scopes();

  loop_scopes(const loop_scopes &) = delete;
  loop_scopes &operator=(const loop_scopes &) = delete;

  // False when Node-API refused a scope; nothing may be called then.
  bool open() const { return m_callbacks != nullptr; }

 private:
  napi_env m_env;
  napi_handle_scope m_handles = nullptr;
  napi_callback_scope m_callbacks = nullptr;
};

// Runs body(env) inside loop_scopes. Nothing it throws escapes.
template <class Body>
void callFromLoop(napi_env env, loop_async_resource &resource,
                  Body &&body) noexcept {
  loop_scopes scopes(env, resource);
  if (!scopes.open()) return;
  try {
    body(Napi::Env(env));
  } catch (...) {
  }
}

}  // namespace VarnNode

#endif  // VARN_EVENTS_LOOP_CALL_H
