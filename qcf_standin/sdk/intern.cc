#include "intern.h"

#include <deque>
#include <mutex>
#include <unordered_map>

namespace qcf_standin {
namespace {

struct InternPool {
  std::mutex mutex;
  // The map's keys are copies of their own, so a caller that writes into a
  // handed-out text (a token is a char*) cannot disturb the lookup.
  std::unordered_map<std::string, char*> byText;
  // A deque never moves its elements, so the texts keep their addresses.
  std::deque<std::string> storage;
};

// Never destroyed: texts may be read by other libraries' static destructors
// and by threads still running at exit.
InternPool& Pool() {
  static InternPool* pool = new InternPool;
  return *pool;
}

}  // namespace

char* InternText(const std::string& text) {
  InternPool& pool = Pool();
  std::lock_guard<std::mutex> lock(pool.mutex);
  auto found = pool.byText.find(text);
  if (found != pool.byText.end()) return found->second;
  pool.storage.push_back(text);
  char* stored = &pool.storage.back()[0];
  pool.byText.emplace(text, stored);
  return stored;
}

}  // namespace qcf_standin
