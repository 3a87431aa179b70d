// Small, stable ids for threads, so that recorded calls can tell which
// thread made them.
#ifndef VARN_QCF_STANDIN_SDK_THREAD_ID_H
#define VARN_QCF_STANDIN_SDK_THREAD_ID_H

#include <cstdint>

namespace qcf_standin {

// 1 for the first thread that asks, 2 for the next, and so on; never 0.
uint64_t CurrentThreadId();

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_THREAD_ID_H
