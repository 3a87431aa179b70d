// Keeps C++ exceptions inside the library: every exported function runs its
// body through Guarded, so a C caller only ever sees a return value.
#ifndef VARN_QCF_STANDIN_SDK_GUARD_H
#define VARN_QCF_STANDIN_SDK_GUARD_H

#include <utility>

namespace qcf_standin {

// Runs `body` and returns its result, or `onFailure` if it throws.
template <typename Result, typename Body>
Result Guarded(Result onFailure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return onFailure;
  }
}

// As Guarded, for bodies without a result.
template <typename Body>
void GuardedVoid(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_GUARD_H
