// live_list: the objects of one kind that currently exist, each named by an
// id that is never reused. Threads other than the owner's may walk the list
// while the owner adds and removes objects; work queued for later names an
// object by its id, so it finds nothing once that object is gone, even if a
// new object has taken its address.
#ifndef VARN_EVENTS_LIVE_LIST_H
#define VARN_EVENTS_LIVE_LIST_H

#include <cstdint>
#include <map>
#include <mutex>

namespace VarnNode {

template <class T>
class live_list {
 public:
  using id = uint64_t;

  // Never 0, so 0 can stand for "none".
  id add(T *item) {
    std::lock_guard<std::mutex> guard(m_lock);
    id key = ++m_lastId;
    m_items.emplace(key, item);
    return key;
  }

  // Waits for a walk in progress on another thread, so once this returns no
  // thread can still be handed `key`'s object.
  void remove(id key) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_items.erase(key);
  }

  // Calls fn(key, item) for every object, oldest first, with the list
  // locked: walks on different threads take turns, and nothing is removed
  // meanwhile. `fn` must not add or remove.
  template <class Fn>
  void forEach(Fn &&fn) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto &entry : m_items) fn(entry.first, *entry.second);
  }

  // The object named by `key`, or null once it has been removed. The
  // pointer stays valid only as long as its owner keeps the object, so
  // only the thread that removes objects may use it.
  T *find(id key) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_items.find(key);
    return found == m_items.end() ? nullptr : found->second;
  }

  size_t size() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_items.size();
  }

 private:
  std::mutex m_lock;
  id m_lastId = 0;
  std::map<id, T *> m_items;
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_LIVE_LIST_H
