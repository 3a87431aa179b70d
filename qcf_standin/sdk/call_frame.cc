#include "call_frame.h"

#include <cstdio>
#include <string>
#include <utility>

#include "errors.h"
#include "handlers.h"

namespace qcf_standin {

CallFrame::CallFrame(const char* name, std::vector<Arg> args) : name_(name) {
  RecordCall(name, std::move(args));
  script_ = TakeScript(name);
  if (script_) EmitAll(script_->emissions);
}

int CallFrame::Finish(int code, bool logLine) {
  if (script_ && script_->code) code = *script_->code;
  if (logLine) {
    std::string line = name_;
    line += code == 0 ? ": ok" : ": error " + std::to_string(code);
    EmitLog(line.c_str());
  }
  return code;
}

int CallFrame::FinishSimulated(const Outcome& outcome, uint32_t level) {
  const int code = script_ && script_->code ? *script_->code : outcome.code;
  if (!outcome.fault.empty()) {
    Emission fault;
    fault.kind = kEmitException;
    fault.value = outcome.code;
    fault.message = std::string(name_) + ": " + outcome.fault;
    Emit(fault);
  }
  if (Sim().LogLevel() < level) return code;
  std::string line = name_;
  if (code == kOk) {
    line += ": ok";
  } else {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    line += std::string(": error 0x") + hex + ": " + ErrorText(code);
  }
  if (!outcome.note.empty()) line += " (" + outcome.note + ")";
  EmitLog(line.c_str());
  return code;
}

}  // namespace qcf_standin
