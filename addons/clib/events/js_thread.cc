#include "events/js_thread.h"

#include <atomic>
#include <thread>

namespace VarnNode {
namespace {
std::atomic<std::thread::id> jsThread{};
}

void recordJsThread() {
  // The first initialisation wins: the process-wide dispatcher runs its jobs
  // on the thread that loaded the module first, whatever worker threads load
  // it later.
  std::thread::id none{};
  jsThread.compare_exchange_strong(none, std::this_thread::get_id());
}

bool onJsThread() { return jsThread.load() == std::this_thread::get_id(); }

}  // namespace VarnNode
