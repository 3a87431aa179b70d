#include "events/node_async_call.h"

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
  if (m_state != nullptr) runPass(m_state);
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

// One pass runs the jobs that were queued when it began, so that threads
// posting without pause cannot keep the loop in here: what they post runs
// in the next pass, after the loop's other work.
void node_async_call::runPass(async_state *state) {
  std::unique_lock<std::mutex> guard(state->lock);
  size_t remaining = state->queue.size();
  while (remaining-- > 0 && !state->closed && !state->queue.empty()) {
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
  runPass(static_cast<async_state *>(handle->data));
}

}  // namespace VarnNode
