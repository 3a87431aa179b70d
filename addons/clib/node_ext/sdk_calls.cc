#include "node_ext/sdk_calls.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "events/log_callback.h"
#include "node_ext/messages.h"

namespace VarnNode {
namespace {

std::atomic<bool> threadMode{false};
std::atomic<bool> callMade{false};

// The SDK thread: started once, stopped when the process exits. It and its
// state are never destroyed, so that a call still running while the
// process exits finds them.
class sdk_thread {
 public:
  void start() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_thread.joinable() || m_stopping) return;
    m_thread = std::thread([this] { run(); });
  }

  // Runs `call` on the thread, or here once the thread has stopped.
  void queue(std::function<void()> call) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (!m_stopping) {
        m_calls.push_back(std::move(call));
        m_wake.notify_one();
        return;
      }
    }
    call();
  }

  // Asks the thread to end once its current call returns, and joins it if
  // it does within a second; a call that takes longer is left to run. A
  // thread still waiting at exit upsets tools that stop every thread then
  // (LeakSanitizer's tracer crashes on it).
  void stop() {
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_stopping) return;
    m_stopping = true;
    m_wake.notify_one();
    if (!m_thread.joinable()) return;
    bool ended = m_ended.wait_for(guard, std::chrono::seconds(1),
                                  [this] { return m_stopped; });
    guard.unlock();
    if (ended) {
      m_thread.join();
    } else {
      m_thread.detach();
    }
  }

 private:
  void run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
      m_wake.wait(guard, [this] { return !m_calls.empty() || m_stopping; });
      if (m_stopping) break;
      std::function<void()> call = std::move(m_calls.front());
      m_calls.pop_front();
      guard.unlock();
      try {
        call();
      } catch (...) {
        // A call that throws ends alone; the thread goes on.
      }
      call = nullptr;
      guard.lock();
    }
    // Calls still queued are dropped: the process is exiting.
    m_stopped = true;
    m_ended.notify_all();
  }

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::condition_variable m_ended;
  std::deque<std::function<void()>> m_calls;
  std::thread m_thread;
  bool m_stopping = false;
  bool m_stopped = false;
};

sdk_thread &sdkThread() {
  static auto *thread = new sdk_thread;
  return *thread;
}

}  // namespace

bool sdkThreadEnabled() noexcept { return threadMode.load(); }

const char *setSdkThreadEnabled(bool enabled) {
  if (enabled == threadMode.load()) return nullptr;
  if (callMade.load()) return msg::kSdkThreadTooLate;
  if (enabled) sdkThread().start();
  threadMode.store(enabled);
  return nullptr;
}

void runSdkCall(const std::function<void()> &call) {
  callMade.store(true);
  if (!threadMode.load()) {
    held_log_lines held;
    call();
    return;
  }
  std::mutex lock;
  std::condition_variable doneSignal;
  bool done = false;
  sdkThread().queue([&] {
    try {
      call();
    } catch (...) {
    }
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    doneSignal.notify_one();
  });
  std::unique_lock<std::mutex> guard(lock);
  doneSignal.wait(guard, [&] { return done; });
}

void stopSdkThread() { sdkThread().stop(); }

void queueSdkCall(std::function<void()> call) {
  callMade.store(true);
  sdkThread().queue(std::move(call));
}

}  // namespace VarnNode
