#include "call_frame.h"

#include <string>
#include <utility>

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

}  // namespace qcf_standin
