// A method of VarnKtPlugin as a row of its family's file: how it reads its
// arguments, the SDK calls it makes and the result it builds. promiseMethod
// and syncMethod run every row the same way:
//
//   instance check -> read (a fault throws, or rejects the promise)
//   -> callSdk -> result (returned, or resolving the promise)
//
// callSdk is the SDK half: SDK calls and the login state only, no Node-API,
// so that it can run on the SDK thread. result is the settling half, on the
// JavaScript thread: result objects and console lines.
#ifndef VARN_NODE_EXT_METHOD_ROW_H
#define VARN_NODE_EXT_METHOD_ROW_H

#include <napi.h>

#include <memory>

#include "node_ext/arguments.h"
#include "node_ext/async_frame.h"
#include "node_ext/messages.h"
#include "node_ext/results.h"
#include "node_ext/sdk_calls.h"
#include "node_ext/varn_kt_plugin.h"

namespace VarnNode {

template <typename Call>
struct MethodRow {
  // The name of a promise method's hand-over (async hooks see it).
  const char *resourceName;
  // Checks the arguments and reads them into `call`; the message of the
  // first fault, or nullptr.
  const char *(*read)(const Napi::CallbackInfo &info, Call &call);
  void (*callSdk)(Call &call);
  Napi::Value (*result)(Napi::Env env, Call &call);
};

template <typename Call>
Napi::Value promiseMethod(const Napi::CallbackInfo &info,
                          const MethodRow<Call> &row) {
  Napi::Env env = info.Env();
  if (VarnKtPlugin::instanceMissing(info)) {
    return throwArgError(env, msg::kInstanceNull);
  }
  auto job = std::make_unique<AsyncJob<Call>>(
      AsyncJob<Call>{Napi::Promise::Deferred::New(env), Call{}});
  if (const char *fault = row.read(info, job->call)) {
    job->deferred.Reject(makeRejection(env, fault));
    return job->deferred.Promise();
  }
  return startAsync(env, std::move(job), row);
}

// fillKeySync throws its argument faults as TypeErrors, the others as Errors.
enum class FaultType { Error, TypeError };

template <typename Call>
Napi::Value syncMethod(const Napi::CallbackInfo &info,
                       const MethodRow<Call> &row,
                       FaultType faults = FaultType::Error) {
  Napi::Env env = info.Env();
  if (VarnKtPlugin::instanceMissing(info)) {
    return throwArgError(env, msg::kInstanceNull);
  }
  Call call{};
  if (const char *fault = row.read(info, call)) {
    return faults == FaultType::TypeError ? throwArgTypeError(env, fault)
                                          : throwArgError(env, fault);
  }
  runSdkCall([&call, &row] { row.callSdk(call); });
  return row.result(env, call);
}

// The reader of a method that takes no arguments (or ignores them).
template <typename Call>
const char *readNothing(const Napi::CallbackInfo &, Call &) {
  return nullptr;
}

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_METHOD_ROW_H
