#include "events/detached_thread.h"

#include <memory>
#include <system_error>

#ifdef _WIN32
#include <thread>
#else
#include <pthread.h>
#endif

namespace VarnNode {
namespace {

void runContained(const std::function<void()> &body) {
  try {
    body();
  } catch (...) {
    // Nothing waits for this thread: the failure stays with it.
  }
}

}  // namespace

#ifdef _WIN32
// Detaching closes the thread's handle, which has no such race on Windows.
void startDetachedThread(const std::function<void()> &body) {
  std::thread([body] { runContained(body); }).detach();
}
#else
void startDetachedThread(const std::function<void()> &body) {
  auto owned = std::make_unique<std::function<void()> >(body);
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error == 0) {
    error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    if (error == 0) {
      error = pthread_create(
          &thread, &attributes,
          [](void *data) -> void * {
            std::unique_ptr<std::function<void()> > run(
                static_cast<std::function<void()> *>(data));
            runContained(*run);
            return nullptr;
          },
          owned.get());
    }
    pthread_attr_destroy(&attributes);
  }
  if (error != 0) {
    throw std::system_error(error, std::generic_category(), "pthread_create");
  }
  owned.release();  // the thread owns it now
}
#endif

}  // namespace VarnNode
