// The process's last turns. The dispatcher's handle does not keep the loop
// alive, so the loop may end with deliveries still queued; and once the
// process exits, SDK lines must no longer reach JavaScript.
#ifndef VARN_EVENTS_PROCESS_EXIT_H
#define VARN_EVENTS_PROCESS_EXIT_H

#include <napi.h>

namespace VarnNode {

// Listens to the process's "beforeExit" (queued deliveries run, and may
// schedule more work) and "exit" (queued deliveries run, then no more
// JavaScript is called for SDK lines), and marks the process as exiting
// when the environment is torn down. `atExit` runs in the "exit" listener,
// before the last deliveries. Once per environment.
void watchProcessExit(Napi::Env env, void (*atExit)());

}  // namespace VarnNode

#endif  // VARN_EVENTS_PROCESS_EXIT_H
