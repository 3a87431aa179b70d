#include "script.h"

#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

namespace qcf_standin {
namespace {

struct QueuedScript {
  int remaining;  // < 0: never used up
  Script script;
};

struct PendingScript {
  std::string name;
  int times;
  Script script;
};

struct ScriptBook {
  std::mutex mutex;
  std::map<std::string, std::deque<QueuedScript>, std::less<>> queues;
  std::optional<PendingScript> pending;
};

ScriptBook& Book() {
  static ScriptBook* book = new ScriptBook;  // never destroyed; see intern.cc
  return *book;
}

// Runs `fill` on the script being built, if any.
template <typename Fill>
void WithPending(Fill&& fill) {
  ScriptBook& book = Book();
  std::lock_guard<std::mutex> lock(book.mutex);
  if (book.pending) fill(book.pending->script);
}

}  // namespace

std::optional<Script> TakeScript(const char* name) {
  if (!name) return std::nullopt;
  ScriptBook& book = Book();
  std::lock_guard<std::mutex> lock(book.mutex);
  auto found = book.queues.find(std::string_view(name));
  if (found == book.queues.end() || found->second.empty()) return std::nullopt;
  QueuedScript& front = found->second.front();
  if (front.remaining < 0) return front.script;
  Script taken = front.script;
  if (--front.remaining == 0) found->second.pop_front();
  return taken;
}

void ClearScripts() {
  ScriptBook& book = Book();
  std::lock_guard<std::mutex> lock(book.mutex);
  book.queues.clear();
  book.pending.reset();
}

void BeginScript(const char* name, int times) {
  ScriptBook& book = Book();
  std::lock_guard<std::mutex> lock(book.mutex);
  if (!name) {
    book.pending.reset();
    return;
  }
  book.pending = PendingScript{name, times, Script{}};
}

void SetScriptCode(int code) {
  WithPending([code](Script& script) { script.code = code; });
}

void SetScriptBytes(const void* data, size_t size, bool isNull) {
  WithPending([&](Script& script) {
    script.hasBytes = true;
    script.bytesNull = isNull;
    if (isNull || !data) {
      script.bytes.clear();
    } else {
      script.bytes.assign(static_cast<const char*>(data), size);
    }
  });
}

void SetScriptNumber(int64_t value) {
  WithPending([value](Script& script) { script.number = value; });
}

void SetScriptNullHandle() {
  WithPending([](Script& script) { script.nullHandle = true; });
}

void AddScriptEmission(const Emission& emission) {
  WithPending(
      [&emission](Script& script) { script.emissions.push_back(emission); });
}

void EndScript() {
  ScriptBook& book = Book();
  std::lock_guard<std::mutex> lock(book.mutex);
  if (!book.pending) return;
  PendingScript pending = std::move(*book.pending);
  book.pending.reset();
  if (pending.times == 0) return;
  book.queues[pending.name].push_back(
      QueuedScript{pending.times, std::move(pending.script)});
}

}  // namespace qcf_standin
