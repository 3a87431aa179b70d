#include "handlers.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace qcf_standin {
namespace {

std::atomic<QCF_LogHandler> g_logHandler{nullptr};
std::atomic<QCF_ExceptionHandler> g_exceptionHandler{nullptr};

struct AsyncEmitters {
  std::mutex mutex;
  std::vector<std::thread> threads;
};

// Never destroyed: destroying a joinable std::thread at exit would
// terminate the process.
AsyncEmitters& Emitters() {
  static AsyncEmitters* emitters = new AsyncEmitters;
  return *emitters;
}

void EmitNow(const Emission& emission) {
  const char* message =
      emission.hasMessage ? emission.message.c_str() : nullptr;
  if (emission.kind == kEmitException) {
    QCF_ExceptionHandler handler = g_exceptionHandler.load();
    if (handler) handler(emission.value, message);
  } else {
    QCF_LogHandler handler = g_logHandler.load();
    if (handler) handler(message);
  }
}

void JoinAll(std::vector<std::thread>& threads) {
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
}

}  // namespace

void InstallLogHandler(QCF_LogHandler handler) { g_logHandler = handler; }

void InstallExceptionHandler(QCF_ExceptionHandler handler) {
  g_exceptionHandler = handler;
}

void DropHandlers() {
  g_logHandler = nullptr;
  g_exceptionHandler = nullptr;
}

void EmitLog(const char* message) {
  QCF_LogHandler handler = g_logHandler.load();
  if (handler) handler(message);
}

void Emit(const Emission& emission) {
  if (!emission.ownThread) {
    EmitNow(emission);
    return;
  }
  // A thread that cannot be started drops its emission, as a library
  // thread that never ran would.
  try {
    std::thread thread([&emission] { EmitNow(emission); });
    thread.join();
  } catch (const std::system_error&) {
  }
}

void EmitAll(const std::vector<Emission>& emissions) {
  for (const Emission& emission : emissions) Emit(emission);
}

void StartAsyncEmitters(const Emission& emission, int threads, int count,
                        bool wait) {
  if (threads <= 0 || count <= 0) return;
  std::vector<std::thread> started;
  // Threads that could not be started are left out; those already running
  // are kept either way, since a joinable std::thread must never be dropped.
  try {
    started.reserve(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i) {
      started.emplace_back([emission, count] {
        for (int n = 0; n < count; ++n) EmitNow(emission);
      });
    }
  } catch (...) {
  }
  if (!wait) {
    try {
      AsyncEmitters& emitters = Emitters();
      std::lock_guard<std::mutex> lock(emitters.mutex);
      emitters.threads.reserve(emitters.threads.size() + started.size());
      for (std::thread& thread : started) {
        emitters.threads.push_back(std::move(thread));
      }
      return;
    } catch (...) {
      // No room to keep them: wait for them instead.
    }
  }
  JoinAll(started);
}

void JoinAsyncEmitters() {
  std::vector<std::thread> running;
  {
    AsyncEmitters& emitters = Emitters();
    std::lock_guard<std::mutex> lock(emitters.mutex);
    running.swap(emitters.threads);
  }
  JoinAll(running);
}

}  // namespace qcf_standin
