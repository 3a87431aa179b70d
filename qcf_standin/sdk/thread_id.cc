#include "thread_id.h"

#include <atomic>

namespace qcf_standin {

uint64_t CurrentThreadId() {
  static std::atomic<uint64_t> next{1};
  thread_local uint64_t id = 0;
  if (id == 0) id = next.fetch_add(1);
  return id;
}

}  // namespace qcf_standin
