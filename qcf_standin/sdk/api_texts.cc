// Texts of the library: error texts and the version.
#include <string>

#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "intern.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

namespace {

// The scripted text in place of `text`: interned, or null when scripted so.
const char* ScriptedText(const Script* script, const char* text) {
  if (!script || !script->hasBytes) return text;
  return script->bytesNull ? nullptr : InternText(script->bytes);
}

constexpr const char* kFailedText = "internal error of the key library";
constexpr const char* kSdkVersion = "libqcf stand-in 1.0.0";

}  // namespace

extern "C" {

QCF_API const char* QCF_ErrMessage(int code) {
  return Guarded<const char*>(kFailedText, [&] {
    CallFrame frame("QCF_ErrMessage", {NumberArg(code)});
    frame.Finish(Done(std::to_string(code)), CallFrame::kLookupLogLevel);
    return ScriptedText(frame.script(), ErrorText(code));
  });
}

QCF_API const char* QCF_GetSDKVersion(void) {
  return Guarded<const char*>(kFailedText, [] {
    CallFrame frame("QCF_GetSDKVersion", {});
    frame.Finish(Done(""), CallFrame::kLookupLogLevel);
    return ScriptedText(frame.script(), kSdkVersion);
  });
}

}  // extern "C"
