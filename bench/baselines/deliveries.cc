// Baseline of event delivery: a thread-safe function around the handler,
// fed from `threads` threads of our own, each queuing `count` copies of a
// message; the JavaScript side calls the handler with (code, message), or
// (message) when no code is given, and `this` undefined, as the add-on's
// dispatcher does.
#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "baselines.h"
#include "napi_util.h"

namespace bench {
namespace {

struct Feed {
  bool withCode;
  int32_t code;
};

void callHandler(napi_env env, napi_value handler, void *context, void *data) {
  auto *message = static_cast<std::string *>(data);
  if (env != nullptr && handler != nullptr) {
    const Feed &feed = *static_cast<const Feed *>(context);
    napi_value args[2] = {nullptr, nullptr};
    size_t argc = 0;
    if (feed.withCode) napi_create_int32(env, feed.code, &args[argc++]);
    napi_create_string_utf8(env, message->data(), message->size(),
                            &args[argc++]);
    napi_value ignored = nullptr;
    napi_call_function(env, undefined(env), handler, argc, args, &ignored);
  }
  delete message;
}

void releaseFeed(napi_env, void *, void *context) {
  delete static_cast<Feed *>(context);
}

// tsfnDeliver(handler, threads, count, message, code, wait): `code` a number
// or undefined; with `wait` it returns once every message is queued.
napi_value tsfnDeliver(napi_env env, napi_callback_info info) {
  napi_value argv[6];
  getArgs(env, info, argv);
  bool wait = false;
  napi_get_value_bool(env, argv[5], &wait);
  uint32_t threads = uint32(env, argv[1]);
  uint32_t count = uint32(env, argv[2]);
  std::string message = utf8(env, argv[3]);
  napi_valuetype codeType = napi_undefined;
  napi_typeof(env, argv[4], &codeType);
  auto *feed = new Feed{codeType == napi_number, 0};
  if (feed->withCode) napi_get_value_int32(env, argv[4], &feed->code);

  napi_threadsafe_function tsfn = nullptr;
  if (napi_create_threadsafe_function(
          env, argv[0], nullptr, string(env, "Delivery"), 0, threads, feed,
          releaseFeed, feed, callHandler, &tsfn) != napi_ok) {
    delete feed;
    return nullptr;
  }
  auto feedAll = [tsfn, count, message] {
    for (uint32_t n = 0; n < count; ++n) {
      napi_call_threadsafe_function(tsfn, new std::string(message),
                                    napi_tsfn_blocking);
    }
    napi_release_threadsafe_function(tsfn, napi_tsfn_release);
  };
  std::vector<std::thread> started;
  for (uint32_t t = 0; t < threads; ++t) {
    try {
      started.emplace_back(feedAll);
    } catch (const std::system_error &) {
      napi_release_threadsafe_function(tsfn, napi_tsfn_release);
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

void defineDeliveries(napi_env env, napi_value exports) {
  defineFunctions(env, exports, {{"tsfnDeliver", tsfnDeliver}});
}

}  // namespace bench
