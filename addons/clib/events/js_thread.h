// Which thread is the JavaScript thread. SDK handlers may be called on
// threads of the SDK's own, where they must never touch JavaScript.
#ifndef VARN_EVENTS_JS_THREAD_H
#define VARN_EVENTS_JS_THREAD_H

namespace VarnNode {

// Called by the module initialisation, on the JavaScript thread; only the
// first call counts.
void recordJsThread();

// True on the thread that initialised the module first.
bool onJsThread();

// True on the process's main thread, the one that runs the host's default
// event loop. Callable during static initialisation.
bool onProcessMainThread();

}  // namespace VarnNode

#endif  // VARN_EVENTS_JS_THREAD_H
