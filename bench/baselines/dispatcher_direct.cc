// The add-on's own event path without the SDK handler in front of it: the
// dispatcher, the event registry and the raising of events, compiled from
// the add-on's sources into this module. Threads of our own raise
// "onCaptureError" as the SDK handler does after writing its log record,
// so what is measured is the dispatcher and the registry alone.
#include <napi.h>

#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "baselines.h"
#include "events/event_handler.h"
#include "events/node_async_call.h"
#include "napi_util.h"

namespace bench {
namespace {

// One registry for the life of the process, as a plug-in instance has.
VarnNode::event_handler *g_registry = nullptr;

// registerErrorHandler(handler): the handler of "onCaptureError"; while one
// is registered the dispatcher keeps the loop alive, as a session does for
// the add-on. registerErrorHandler(null) removes it.
napi_value registerErrorHandler(napi_env env, napi_callback_info info) {
  try {
    Napi::CallbackInfo args(env, info);
    if (g_registry == nullptr) g_registry = new VarnNode::event_handler();
    auto &dispatcher = VarnNode::node_async_call::instance();
    if (!args[0].IsFunction()) {
      if (g_registry->removeEventHandler("onCaptureError", nullptr)) {
        dispatcher.release();
      }
      return nullptr;
    }
    Napi::ObjectReference receiver = Napi::Persistent(args.This().ToObject());
    Napi::FunctionReference callback =
        Napi::Persistent(args[0].As<Napi::Function>());
    bool replacing = g_registry->removeEventHandler("onCaptureError", nullptr);
    if (!replacing) dispatcher.hold();
    g_registry->addEventHandler("onCaptureError", receiver, callback);
  } catch (const Napi::Error &error) {
    error.ThrowAsJavaScriptException();
  }
  return nullptr;
}

// raiseErrors(threads, count, message, code, wait)
napi_value raiseErrors(napi_env env, napi_callback_info info) {
  napi_value argv[5];
  getArgs(env, info, argv);
  uint32_t threads = uint32(env, argv[0]);
  uint32_t count = uint32(env, argv[1]);
  std::string message = utf8(env, argv[2]);
  int32_t code = 0;
  napi_get_value_int32(env, argv[3], &code);
  bool wait = false;
  napi_get_value_bool(env, argv[4], &wait);
  auto raiseAll = [count, message, code] {
    for (uint32_t n = 0; n < count; ++n) {
      VarnNode::event_handler::raiseError(code, message.c_str());
    }
  };
  std::vector<std::thread> started;
  for (uint32_t t = 0; t < threads; ++t) {
    try {
      started.emplace_back(raiseAll);
    } catch (const std::system_error &) {
    }
  }
  for (std::thread &thread : started) {
    if (wait) {
      thread.join();
    } else {
      thread.detach();
    }
  }
  return nullptr;
}

}  // namespace

void defineDispatcherDirect(napi_env env, napi_value exports) {
  defineFunctions(env, exports,
                  {{"registerErrorHandler", registerErrorHandler},
                   {"raiseErrors", raiseErrors}});
}

}  // namespace bench
