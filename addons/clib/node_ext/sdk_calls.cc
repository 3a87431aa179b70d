#include "node_ext/sdk_calls.h"

#include <atomic>
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

// The SDK thread: started once, never stopped. It and its state are never
// destroyed, so that a call still running while the process exits finds
// them.
class sdk_thread {
 public:
  void start() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_started) return;
    std::thread([this] { run(); }).detach();
    m_started = true;
  }

  void queue(std::function<void()> call) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_calls.push_back(std::move(call));
    }
    m_wake.notify_one();
  }

 private:
  void run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
      m_wake.wait(guard, [this] { return !m_calls.empty(); });
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
  }

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_calls;
  bool m_started = false;
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

void queueSdkCall(std::function<void()> call) {
  callMade.store(true);
  sdkThread().queue(std::move(call));
}

}  // namespace VarnNode
