#include "events/process_exit.h"

#include "events/log_callback.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace {

void runQueuedDeliveries(const Napi::CallbackInfo &) {
  if (!processExiting()) node_async_call::instance().runQueued();
}

void (*runAtExit)() = nullptr;

// `atExit` comes first: a delivery may call process.exit() again, which
// then ends the process at once, from inside this listener.
void lastDeliveries(const Napi::CallbackInfo &) {
  if (runAtExit != nullptr) runAtExit();
  if (!processExiting()) node_async_call::instance().runQueued();
  markProcessExiting();
}

void onProcess(Napi::Env env, const char *event, Napi::Function listener) {
  Napi::Object process = env.Global().Get("process").As<Napi::Object>();
  process.Get("on").As<Napi::Function>().Call(
      process, {Napi::String::New(env, event), listener});
}

}  // namespace

void watchProcessExit(Napi::Env env, void (*atExit)()) {
  runAtExit = atExit;
  onProcess(env, "beforeExit",
            Napi::Function::New<runQueuedDeliveries>(env, "varnBeforeExit"));
  onProcess(env, "exit", Napi::Function::New<lastDeliveries>(env, "varnExit"));
  napi_add_env_cleanup_hook(
      env, [](void *) { markProcessExiting(); }, nullptr);
}

}  // namespace VarnNode
