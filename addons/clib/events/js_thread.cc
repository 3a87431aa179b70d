#include "events/js_thread.h"

#include <atomic>
#include <thread>

namespace VarnNode {
namespace {
std::atomic<std::thread::id> jsThread{};
}

void recordJsThread() { jsThread.store(std::this_thread::get_id()); }

bool onJsThread() { return jsThread.load() == std::this_thread::get_id(); }

}  // namespace VarnNode
