// What methods hand back: SDK codes with their texts, result objects and
// rejection objects.
#ifndef VARN_NODE_EXT_RESULTS_H
#define VARN_NODE_EXT_RESULTS_H

#include <napi.h>

#include <string>

namespace VarnNode {

// The SDK's text for a code; "" when the SDK gives none. An SDK call.
const char *sdkErrorText(int code);

// An SDK call's code and, for a failure, the SDK's text for it, asked
// where the call was made (QCF_ErrMessage is an SDK call too).
struct SdkOutcome {
  int code = 0;
  std::string errorText;
  void set(int returned);
};

// {code, message}: `successText` for 0, the SDK's text otherwise.
Napi::Object makeResult(Napi::Env env, const SdkOutcome &outcome,
                        const char *successText = "succ");

// {code: -1, message}, with which a promise method rejects a wrong argument.
Napi::Object makeRejection(Napi::Env env, const char *message);

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_RESULTS_H
