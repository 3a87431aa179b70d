#include "events/node_async_call.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace VarnNode {
namespace {

// The states of destroyed dispatchers, which are kept on purpose (see the
// destructor). Listed here, never destroyed, so that they stay reachable
// instead of being leaked; a process has one dispatcher, so one entry.
void keepForever(const void *state) {
  struct kept_states {
    std::mutex lock;
    std::vector<const void *> states;
  };
  static auto *kept = new kept_states;
  std::lock_guard<std::mutex> guard(kept->lock);
  kept->states.push_back(state);
}

}  // namespace

node_async_call::node_async_call() : node_async_call(uv_default_loop()) {}

node_async_call::node_async_call(uv_loop_t *loop) { attach(loop); }

void node_async_call::attach(uv_loop_t *loop) {
  if (loop == nullptr) return;
  auto state = std::make_unique<async_state>();
  state->executor = [this](job &task) { runJob(task); };
  state->handle = static_cast<uv_async_t *>(std::malloc(sizeof(uv_async_t)));
  if (state->handle == nullptr) return;
  if (uv_async_init(loop, state->handle, &node_async_call::drain) != 0) {
    std::free(state->handle);
    return;
  }
  state->handle->data = state.get();
  // Held open only while there is work (hold); otherwise a process whose
  // script is done ends, whether or not the module is loaded.
  uv_unref(reinterpret_cast<uv_handle_t *>(state->handle));
  m_state = state.release();
}

node_async_call::~node_async_call() {
  if (m_state == nullptr) return;
  std::deque<job> discarded;
  {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->closed = true;
    discarded.swap(m_state->queue);
    // The loop frees the handle when it processes the close.
    uv_close(reinterpret_cast<uv_handle_t *>(m_state->handle),
             [](uv_handle_t *handle) { std::free(handle); });
  }
  // `discarded` goes here, unrun and outside the lock. The state itself (a
  // lock, an empty queue and the closed flag) is kept on purpose: SDK threads
  // may still log, and so post, while the process ends, and they must find a
  // closed dispatcher rather than freed memory.
  keepForever(m_state);
}

int node_async_call::post(job task) {
  async_state *state = m_state;
  if (state == nullptr) return -1;
  std::lock_guard<std::mutex> guard(state->lock);
  if (state->closed) return -1;
  state->queue.push_back(std::move(task));
  // Sent under the lock, so that no wake-up races the handle's close.
  return uv_async_send(state->handle) == 0 ? 0 : -1;
}

void node_async_call::runJob(job &task) {
  // An exception must not unwind into libuv's C frames.
  try {
    task();
  } catch (...) {
  }
}

void node_async_call::runQueued() {
  // The loop will not run again: no budget.
  if (m_state != nullptr) runPass(m_state, false);
}

void node_async_call::hold() {
  if (m_state != nullptr && m_state->holds++ == 0) {
    uv_ref(reinterpret_cast<uv_handle_t *>(m_state->handle));
  }
}

void node_async_call::release() {
  if (m_state != nullptr && m_state->holds > 0 && --m_state->holds == 0) {
    uv_unref(reinterpret_cast<uv_handle_t *>(m_state->handle));
  }
}

// One pass runs at most the jobs that were queued when it began, and, from
// the loop, for a few milliseconds at most, so that threads posting faster than
// the jobs run cannot keep the loop in here: the rest runs in the next pass,
// after the loop's timers and I/O.
void node_async_call::runPass(async_state *state, bool budgeted) {
  using clock = std::chrono::steady_clock;
  constexpr auto kPassBudget = std::chrono::milliseconds(5);
  constexpr size_t kJobsBetweenClockReads = 64;
  const clock::time_point start = clock::now();
  std::unique_lock<std::mutex> guard(state->lock);
  const size_t queued = state->queue.size();
  for (size_t ran = 0; ran < queued && !state->closed && !state->queue.empty();
       ++ran) {
    if (budgeted &&
        ran % kJobsBetweenClockReads == kJobsBetweenClockReads - 1 &&
        clock::now() - start > kPassBudget) {
      break;
    }
    job task = std::move(state->queue.front());
    state->queue.pop_front();
    guard.unlock();
    state->executor(task);
    // Destroyed before the lock is taken again, so that what the job
    // captured may post from its destructor.
    task = nullptr;
    guard.lock();
  }
  if (!state->closed && !state->queue.empty()) uv_async_send(state->handle);
}

void node_async_call::drain(uv_async_t *handle) {
  runPass(static_cast<async_state *>(handle->data), true);
}

}  // namespace VarnNode
