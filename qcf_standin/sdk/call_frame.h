// The course every library function follows: record the call on entry, take
// the next script for it and make its handler calls, let the simulator do
// the work, then let scripted outputs and a scripted code replace its answer
// and log a line.
//
// A call that would talk to the key server or change the session (the list
// is kFunctions in call_frame.cc) also waits out the call delay, once it
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

  // Answers with the outcome of `simulate`, unless the script gives a code:
  // then that code answers in the simulator's place and `simulate` does not
  // run, so that a test can inject a failure that changes nothing.
  template <typename Simulate>
  int Answer(Simulate&& simulate) {
    return Finish(ScriptedCode() ? Done("scripted") : simulate());
  }

  // The same for a call with outputs. Scripted outputs are then written over
  // the simulator's by `writeOutputs(script)`, which returns kOk, or
  // kInvalidArgument when an output pointer is null. They stand for a
  // successful answer unless a code is scripted too; a refusal of invalid
  // arguments stays.
  template <typename Simulate, typename WriteOutputs>
  int Answer(Simulate&& simulate, WriteOutputs&& writeOutputs) {
    Outcome outcome = ScriptedCode() ? Done("scripted") : simulate();
    if (script_ && script_->HasOutputs() && outcome.code != kInvalidArgument) {
      const int written = writeOutputs(*script_);
      if (!ScriptedCode()) {
        outcome = written == kOk ? Done("scripted outputs") : Refused(written);
      }
    }
    return Finish(outcome);
  }

  // The ending of every call: a fault goes to the exception handler, then
  // the line "<name>: ok (<note>)" or "<name>: error 0x<code>: <text>
  // (<note>)" goes to the log handler when the "logLevel" setting is at
  // least `level`. Returns the code, or the scripted one.
  int Finish(const Outcome& outcome, uint32_t level = kCallLogLevel);

  static constexpr uint32_t kCallLogLevel = 1;
  static constexpr uint32_t kLookupLogLevel = 2;  // QCF_ErrMessage, version

 private:
  bool ScriptedCode() const { return script_ && script_->code; }

  const char* name_;
  std::optional<Script> script_;
};

// True for the name of one of the library's QCF_ functions.
bool IsFunctionName(const char* name);
// The name of function number `index`, or null past the last one.
const char* FunctionName(size_t index);

// The call delay in milliseconds, at most kMaxCallDelayMs. At first use it
// is the value of the environment variable QCF_STANDIN_DELAY_MS (decimal
// digits only; anything else, an empty or a negative value means 0; larger
// values are cut to the maximum); SetCallDelay replaces it, ResetCallDelay
// returns to the environment's value.
constexpr uint32_t kMaxCallDelayMs = 60000;
uint32_t CallDelay();
void SetCallDelay(uint32_t milliseconds);
void ResetCallDelay();

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_CALL_FRAME_H
