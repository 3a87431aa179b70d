// A registered JavaScript function with the object it was registered on.
#ifndef VARN_EVENTS_CALLBACK_REF_H
#define VARN_EVENTS_CALLBACK_REF_H

#include <napi.h>

namespace VarnNode {

struct callback_ref {
  callback_ref(const Napi::Function &function, const Napi::Object &object)
      : callback(Napi::Persistent(function)),
        receiver(Napi::Persistent(object)) {}

  // The receiver goes first, then the callback.
  ~callback_ref() {
    receiver.Reset();
    callback.Reset();
  }

  callback_ref(const callback_ref &) = delete;
  callback_ref &operator=(const callback_ref &) = delete;

  Napi::FunctionReference callback;
  // Keeps the registering object alive and supplies the environment.
  Napi::ObjectReference receiver;
};

}  // namespace VarnNode

#endif  // VARN_EVENTS_CALLBACK_REF_H
