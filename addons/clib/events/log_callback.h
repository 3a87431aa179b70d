// The process-wide log callback and the two handlers installed in the SDK.
#ifndef VARN_EVENTS_LOG_CALLBACK_H
#define VARN_EVENTS_LOG_CALLBACK_H

#include <napi.h>

#include <string>
#include <vector>

namespace VarnNode {

// Replaces the registration with `function`, registered on `receiver` by the
// instance `owner`. A failure to create the references throws and leaves the
// old registration in force. JavaScript thread only, as are the releases.
void registerLogCallback(const Napi::Function &function,
                         const Napi::Object &receiver, const void *owner);

// Ends log delivery to JavaScript; safe to call when nothing is registered,
// and from inside the callback itself (the change takes effect from the next
// line).
void releaseLogCallback();
// The same, but only if `owner` made the registration in force.
void releaseLogCallbackOf(const void *owner);

// While one exists on the JavaScript thread, lines the SDK logs on that
// thread are held rather than handed to the callback in the middle of an
// SDK call, where the callback could call the SDK again. Its end delivers
// them, in order. Nests.
class held_log_lines {
 public:
  held_log_lines();
  ~held_log_lines();

  held_log_lines(const held_log_lines &) = delete;
  held_log_lines &operator=(const held_log_lines &) = delete;

 private:
  friend void holdOrDeliver(const char *text);
  std::vector<std::string> m_lines;
  held_log_lines *m_outer;
};

// From here on the process is ending: SDK lines still go to the log file,
// but no JavaScript is called for them.
void markProcessExiting() noexcept;
bool processExiting() noexcept;

// Installed in the SDK by preActivate; callable on any thread, never throw.
//
// sdkLogHandler writes the line to the log file, raises it as an event, and
// hands it to the registered callback: on the JavaScript thread at once, or
// at the end of the SDK call it came from; from other threads through the
// dispatcher, whose job delivers it to whatever callback is registered when
// the job runs.
extern "C" void sdkLogHandler(const char *message);
// Writes the message to the log file and raises it as an event.
extern "C" void sdkExceptionHandler(int value, const char *message);

}  // namespace VarnNode

#endif  // VARN_EVENTS_LOG_CALLBACK_H
