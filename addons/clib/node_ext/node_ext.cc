// Module registration: a napi_module record handed to Node from a load-time
// initialiser, and the module initialisation that defines the class.
#include <napi.h>
#include <node_api.h>

#include "events/js_thread.h"
#include "events/node_async_call.h"
#include "events/process_exit.h"
#include "node_ext/messages.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/varn_kt_plugin.h"

namespace {

Napi::Object initModule(Napi::Env env, Napi::Object exports) {
  // Events reach JavaScript through the dispatcher on the main loop; any
  // other thread would have them delivered to the wrong one.
  if (!VarnNode::onProcessMainThread()) {
    throw Napi::Error::New(env, VarnNode::msg::kNotMainThread);
  }
  if (!VarnNode::node_async_call::instance().attached()) {
    throw Napi::Error::New(env, VarnNode::msg::kDispatcherDetached);
  }
  VarnNode::recordJsThread();
  VarnNode::watchProcessExit(env, VarnNode::stopSdkThread);
  Napi::Function constructor = VarnKtPlugin::DefineClass(env);
  // Keeps the constructor alive for the life of the environment.
  env.SetInstanceData(
      new Napi::FunctionReference(Napi::Persistent(constructor)));
  exports.Set("VarnKtPlugin", constructor);
  return exports;
}

napi_value registerCallback(napi_env env, napi_value exports) {
  return Napi::RegisterModule(env, exports, initModule);
}

napi_module moduleRecord = {
    1,                 // nm_version
    0,                 // nm_flags
    "node_ext.cc",     // nm_filename
    registerCallback,  // nm_register_func
    "VarnKtPlugin",    // nm_modname
    nullptr,           // nm_priv
    {nullptr, nullptr, nullptr, nullptr},
};

extern "C" void registerVarnKtPlugin(void) {
  napi_module_register(&moduleRecord);
}

}  // namespace

// The module's one exported symbol: an entry of the load-time initialiser
// table that registers the module. It is placed ahead of the ordinary static
// constructors, so the registration runs before the dispatcher is built.
extern "C" {
#if defined(_MSC_VER)
#pragma section(".CRT$XCT", read)
__declspec(dllexport, allocate(".CRT$XCT")) void(
    __cdecl *_register_VarnKtPlugin_)(void) = registerVarnKtPlugin;
#elif defined(_WIN32)
__declspec(dllexport) __attribute__((section(".CRT$XCT"), used)) void (
    *_register_VarnKtPlugin_)(void) = registerVarnKtPlugin;
#else
__attribute__((
    visibility("default"), used,
    section(".init_array.00101"))) void (*_register_VarnKtPlugin_)(void) =
    registerVarnKtPlugin;
#endif
}  // extern "C"
