// A thread that nobody joins, for work that hands its result back on its own.
#ifndef VARN_EVENTS_DETACHED_THREAD_H
#define VARN_EVENTS_DETACHED_THREAD_H

#include <functional>

namespace VarnNode {

// Runs `body` on a new thread, created detached. Detaching a running thread
// afterwards (std::thread::detach) races with its exit in glibc: the detach
// reads the thread's descriptor after the exiting thread may have unmapped
// it, which crashed processes making many short calls. An exception that
// leaves `body` ends the thread alone. Throws std::system_error when no
// thread can be had (and std::bad_alloc); `body` is then left to the caller.
void startDetachedThread(const std::function<void()> &body);

}  // namespace VarnNode

#endif  // VARN_EVENTS_DETACHED_THREAD_H
