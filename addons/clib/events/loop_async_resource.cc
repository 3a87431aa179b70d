#include "events/loop_async_resource.h"

namespace VarnNode {

loop_async_resource::~loop_async_resource() { release(); }

void loop_async_resource::release() {
  if (m_context != nullptr) napi_async_destroy(m_env, m_context);
  if (m_resource != nullptr) napi_delete_reference(m_env, m_resource);
  m_context = nullptr;
  m_resource = nullptr;
  m_env = nullptr;
}

bool loop_async_resource::make(napi_env env) {
  napi_value object = nullptr;
  napi_value name = nullptr;
  if (napi_create_object(env, &object) != napi_ok ||
      napi_create_string_utf8(env, m_name, NAPI_AUTO_LENGTH, &name) !=
          napi_ok ||
      napi_create_reference(env, object, 1, &m_resource) != napi_ok) {
    return false;
  }
  m_env = env;
  if (napi_async_init(env, object, name, &m_context) != napi_ok) {
    m_context = nullptr;
    release();
    return false;
  }
  return true;
}

bool loop_async_resource::openScope(napi_env env, napi_callback_scope *scope) {
  if (m_env != env) {
    // A resource of another environment can only be released there; it is
    // left to that environment's teardown.
    m_env = nullptr;
    m_resource = nullptr;
    m_context = nullptr;
    if (!make(env)) return false;
  }
  napi_value object = nullptr;
  return napi_get_reference_value(env, m_resource, &object) == napi_ok &&
         object != nullptr &&
         napi_open_callback_scope(env, object, m_context, scope) == napi_ok;
}

}  // namespace VarnNode
