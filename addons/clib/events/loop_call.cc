#include "events/loop_call.h"

namespace VarnNode {

void dropPendingException(napi_env env) noexcept {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    napi_value ignored = nullptr;
    napi_get_and_clear_last_exception(env, &ignored);
  }
}

void callDroppingErrors(const Napi::Function &function,
                        std::initializer_list<napi_value> args) noexcept {
  napi_env env = function.Env();
  try {
    function.Call(Napi::Env(env).Undefined(), args);
  } catch (...) {
    // A throwing callee arrives here as a Napi::Error, which has already
    // taken the exception off the environment.
  }
  dropPendingException(env);
}

loop_scopes::loop_scopes(napi_env env, loop_async_resource &resource) noexcept
    : m_env(env) {
  if (napi_open_handle_scope(env, &m_handles) != napi_ok) {
    m_handles = nullptr;
    return;
  }
  if (!resource.openScope(env, &m_callbacks)) m_callbacks = nullptr;
}

loop_scopes::~loop_scopes() {
  if (m_handles == nullptr) return;
  dropPendingException(m_env);
  if (m_callbacks != nullptr) napi_close_callback_scope(m_env, m_callbacks);
  // Closing the callback scope runs microtasks, which may throw too.
  dropPendingException(m_env);
  napi_close_handle_scope(m_env, m_handles);
}

}  // namespace VarnNode
