#include "events/log_callback.h"

#include <atomic>
#include <utility>

#include "diagnostics/log_file.h"
#include "events/callback_ref.h"
#include "events/event_handler.h"
#include "events/js_thread.h"
#include "events/loop_call.h"
#include "events/node_async_call.h"

namespace VarnNode {
namespace {

struct registration {
  registration(const Napi::Function &function, const Napi::Object &receiver,
               const void *by)
      : ref(function, receiver), owner(by) {}
  callback_ref ref;
  const void *owner;
};

// The one registered log callback, or null. JavaScript thread only.
registration *g_logCallback = nullptr;

// Deliveries in progress on the JavaScript thread. A callback may release
// the registration it runs under (finish, setLogCallback, or the collection
// of its instance); while a delivery is in progress released registrations
// are parked here and deleted once the outermost delivery has returned.
int deliveryDepth = 0;
std::vector<registration *> retired;

// The innermost held_log_lines of the JavaScript thread, or null.
held_log_lines *holding = nullptr;

std::atomic<bool> exiting{false};

// Deliveries from the dispatcher open their callback scope under it. Never
// destroyed: it lives as long as the environment, which ends with the
// process.
loop_async_resource &loopResource() {
  static auto *resource = new loop_async_resource("VarnKtPluginLog");
  return *resource;
}

void callRegistration(const registration &current, const std::string &message) {
  Napi::Env env = current.ref.receiver.Env();
  Napi::Function callback = current.ref.callback.Value();
  callDroppingErrors(callback, {Napi::String::New(env, message)});
}

// `fromLoop`: called from a dispatcher job, with no native call of ours on
// the stack, so the call needs scopes of its own.
void deliver(const std::string &message, bool fromLoop) noexcept {
  registration *current = g_logCallback;
  if (current == nullptr || exiting.load()) return;
  ++deliveryDepth;
  napi_env env = current->ref.receiver.Env();
  if (fromLoop) {
    callFromLoop(env, loopResource(),
                 [&](Napi::Env) { callRegistration(*current, message); });
  } else {
    try {
      Napi::HandleScope scope(env);
      callRegistration(*current, message);
    } catch (...) {
      // The string or the scope could not be made: the line is dropped.
    }
    dropPendingException(env);
  }
  if (--deliveryDepth == 0) {
    std::vector<registration *> done;
    done.swap(retired);
    for (registration *old : done) delete old;
  }
}

void postLogLine(std::string message) {
  node_async_call::instance().post(
      [text = std::move(message)]() { deliver(text, true); });
}

// True when JavaScript may be called right here: its environment has no
// exception pending (calling then would swallow an exception that belongs
// to our caller).
bool canCallNow() {
  return !g_logCallback->ref.receiver.Env().IsExceptionPending();
}

}  // namespace

void holdOrDeliver(const char *text) {
  if (holding != nullptr) {
    holding->m_lines.emplace_back(text);
  } else if (g_logCallback != nullptr) {
    if (canCallNow()) {
      deliver(text, false);
    } else {
      postLogLine(text);
    }
  }
}

void registerLogCallback(const Napi::Function &function,
                         const Napi::Object &receiver, const void *owner) {
  auto *fresh = new registration(function, receiver, owner);
  releaseLogCallback();
  g_logCallback = fresh;
}

void releaseLogCallback() {
  registration *old = g_logCallback;
  g_logCallback = nullptr;
  if (old == nullptr) return;
  if (deliveryDepth > 0) {
    retired.push_back(old);
  } else {
    delete old;
  }
}

void releaseLogCallbackOf(const void *owner) {
  if (g_logCallback != nullptr && g_logCallback->owner == owner) {
    releaseLogCallback();
  }
}

held_log_lines::held_log_lines() : m_outer(holding) { holding = this; }

held_log_lines::~held_log_lines() {
  holding = m_outer;
  for (const std::string &line : m_lines) {
    try {
      holdOrDeliver(line.c_str());
    } catch (...) {
    }
  }
}

void markProcessExiting() noexcept { exiting.store(true); }

bool processExiting() noexcept { return exiting.load(); }

extern "C" void sdkLogHandler(const char *message) {
  const char *text = message != nullptr ? message : "";
  writeLog(text);
  // Once the process is ending there is no JavaScript left to call.
  if (exiting.load()) return;
  try {
    event_handler::raiseMessage(text);
    if (onJsThread()) {
      holdOrDeliver(text);
    } else {
      // Never touch JavaScript here; the dispatcher runs the delivery on the
      // JavaScript thread.
      postLogLine(text);
    }
  } catch (...) {
    // Nothing may unwind into the SDK.
  }
}

extern "C" void sdkExceptionHandler(int value, const char *message) {
  const char *text = message != nullptr ? message : "";
  writeLog(text);
  if (exiting.load()) return;
  event_handler::raiseError(value, text);
}

}  // namespace VarnNode
