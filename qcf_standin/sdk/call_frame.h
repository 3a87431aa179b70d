// The course every library function follows: record the call on entry, take
// the next script for it and make its handler calls, let the function do its
// work (permissive in recording mode, simulated otherwise), then let a
// scripted code replace the function's own and log a line.
//
// A call that would talk to the key server or change the session (the list
// is kDelayedCalls in call_frame.cc) also waits out the call delay, once it
// is recorded and its script's handler calls are made, before it does its
// work: a slow SDK, for seeing what a call on the JavaScript thread costs.
#ifndef VARN_QCF_STANDIN_SDK_CALL_FRAME_H
#define VARN_QCF_STANDIN_SDK_CALL_FRAME_H

#include <cstdint>
#include <optional>
#include <vector>

#include "recorder.h"
#include "script.h"
#include "simulator.h"

namespace qcf_standin {

class CallFrame {
 public:
  CallFrame(const char* name, std::vector<Arg> args);

  // The script of this call, or null.
  const Script* script() const { return script_ ? &*script_ : nullptr; }

  // The code to return: the scripted one if given, else `code`. Logs one
  // line, "<name>: ok" or "<name>: error <code>", when `logLine` is set.
  int Finish(int code, bool logLine);

  // The simulator's ending: a fault goes to the exception handler, then the
  // line "<name>: ok (<note>)" or "<name>: error 0x<code>: <text> (<note>)"
  // goes to the log handler when the "logLevel" setting is at least
  // `level`. Returns the code, or the scripted one.
  int FinishSimulated(const Outcome& outcome, uint32_t level = kCallLogLevel);

  // Simulator mode: runs `simulate` (returning an Outcome) and finishes
  // with its outcome, unless the script gives a code: then that code answers
  // in the simulator's place and the call does nothing else.
  template <typename Body>
  int Simulate(Body&& body) {
    if (script_ && script_->code) return FinishSimulated(Done("scripted"));
    return FinishSimulated(body());
  }

  static constexpr uint32_t kCallLogLevel = 1;
  static constexpr uint32_t kLookupLogLevel = 2;  // QCF_ErrMessage, version

 private:
  const char* name_;
  std::optional<Script> script_;
};

// The call delay in milliseconds, at most kMaxCallDelayMs. At first use it
// is the value of the environment variable QCF_STANDIN_DELAY_MS (decimal
// digits only; anything else, an empty or a negative value means 0; larger
// values are cut to the maximum); SetCallDelay replaces it, ResetCallDelay
// returns to the environment's value.
constexpr uint32_t kMaxCallDelayMs = 60000;
uint32_t CallDelay();
void SetCallDelay(uint32_t milliseconds);
void ResetCallDelay();

constexpr bool kLogLine = true;
constexpr bool kNoLogLine = false;

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_CALL_FRAME_H
