// Direct calls of the library's QCF_ functions from JavaScript, and a pair of
// capturing handlers, so that the stand-in can be tested without the add-on.
#ifndef VARN_QCF_STANDIN_CONTROL_DIRECT_H
#define VARN_QCF_STANDIN_CONTROL_DIRECT_H

#include <napi.h>

// An object with one function per QCF_ function, plus `handled()` and
// `clearHandled()` for the messages the capturing handlers received.
Napi::Object DirectCalls(Napi::Env env);

#endif  // VARN_QCF_STANDIN_CONTROL_DIRECT_H
