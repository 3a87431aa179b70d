// node_async_call: the dispatcher. Runs jobs posted from any thread on the
// thread of a libuv loop, in the order they were posted. The add-on has one,
// attached to the host's default loop, built when the module is loaded.
#ifndef VARN_EVENTS_NODE_ASYNC_CALL_H
#define VARN_EVENTS_NODE_ASYNC_CALL_H

#include <uv.h>

#include <deque>
#include <functional>
#include <mutex>

namespace VarnNode {

class node_async_call {
 public:
  using job = std::function<void()>;

  // Attached to the host's default loop.
  node_async_call();
  // Attached to `loop`; used by tests that run a loop of their own.
  explicit node_async_call(uv_loop_t *loop);
  // Closes the wake-up handle and discards queued jobs unrun. Runs on the
  // loop's thread (for the process-wide one: at process exit).
  ~node_async_call();

  node_async_call(const node_async_call &) = delete;
  node_async_call &operator=(const node_async_call &) = delete;

  // Queues `task` (moved) and wakes the loop. Safe from any thread, the loop
  // thread included; a job runs at a later loop iteration, never inside
  // post. Returns 0, or -1 when the wake-up failed (the job stays queued)
  // or the dispatcher is closed (the job is dropped).
  int post(job task);

  // Runs, on the loop's thread and right now, the jobs queued at this
  // moment (not those they post). For the process's last turns, when the
  // loop itself will not run again.
  void runQueued();

  // The wake-up handle does not keep the loop alive by itself: the loop
  // runs on while holds outnumber releases. Loop thread only.
  void hold();
  void release();

  // False when the dispatcher could not attach to its loop.
  bool attached() const { return m_state != nullptr; }

  // The process-wide dispatcher.
  static node_async_call &instance();

 private:
  struct async_state {
    uv_async_t *handle = nullptr;
    std::mutex lock;  // guards queue, closed and the handle's use
    std::deque<job> queue;
    std::function<void(job &)> executor;
    bool closed = false;
    unsigned holds = 0;  // loop thread only
  };

  void attach(uv_loop_t *loop);
  void runJob(job &task);
  static void runPass(async_state *state, bool budgeted);
  static void drain(uv_async_t *handle);

  // Owned, but deliberately not freed by the destructor (see there).
  async_state *m_state = nullptr;
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_NODE_ASYNC_CALL_H
