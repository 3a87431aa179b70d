// loop_async_resource: the async resource under which the dispatcher's jobs
// call into JavaScript. A callback scope needs one; making a new one for
// every call costs more than the call itself, so, as a thread-safe function
// does for all its calls, a registry or the log callback keeps one and
// opens every scope under it.
#ifndef VARN_EVENTS_LOOP_ASYNC_RESOURCE_H
#define VARN_EVENTS_LOOP_ASYNC_RESOURCE_H

#include <node_api.h>

namespace VarnNode {

class loop_async_resource {
 public:
  // `name` names the resource for async hooks; it must outlive the object.
  explicit loop_async_resource(const char *name) : m_name(name) {}
  // Releases the resource; on the JavaScript thread, while its environment
  // lives.
  ~loop_async_resource();

  loop_async_resource(const loop_async_resource &) = delete;
  loop_async_resource &operator=(const loop_async_resource &) = delete;

  // Opens a callback scope in `env` under the resource, made at the first
  // call. Needs an open handle scope. False when Node-API refuses; nothing is
  // open then.
  bool openScope(napi_env env, napi_callback_scope *scope);

 private:
  bool make(napi_env env);
  void release();

  const char *m_name;
  napi_env m_env = nullptr;
  napi_ref m_resource = nullptr;
  napi_async_context m_context = nullptr;
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_LOOP_ASYNC_RESOURCE_H
