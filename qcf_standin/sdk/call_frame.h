// The course every library function follows: record the call on entry, take
// the next script for it and make its handler calls, let the function do its
// work, then let a scripted code replace the function's own and log a line.
#ifndef VARN_QCF_STANDIN_SDK_CALL_FRAME_H
#define VARN_QCF_STANDIN_SDK_CALL_FRAME_H

#include <optional>
#include <vector>

#include "recorder.h"
#include "script.h"

namespace qcf_standin {

class CallFrame {
 public:
  CallFrame(const char* name, std::vector<Arg> args);

  // The script of this call, or null.
  const Script* script() const { return script_ ? &*script_ : nullptr; }

  // The code to return: the scripted one if given, else `code`. Logs one
  // line, "<name>: ok" or "<name>: error <code>", when `logLine` is set.
  int Finish(int code, bool logLine);

 private:
  const char* name_;
  std::optional<Script> script_;
};

constexpr bool kLogLine = true;
constexpr bool kNoLogLine = false;

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_CALL_FRAME_H
