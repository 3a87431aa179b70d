// Argument checks every method of VarnKtPlugin makes, in a fixed order with
// fixed messages, and the reads that follow them.
#ifndef VARN_NODE_EXT_ARGUMENTS_H
#define VARN_NODE_EXT_ARGUMENTS_H

#include <napi.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace VarnNode {

enum class JsType { String, Number, Function, Object };

// One positional check: argument `index` must have `type`, else `message`.
// An optional argument is checked only when the call passed that many.
struct ArgRule {
  size_t index;
  JsType type;
  const char *message;
  bool optional = false;
};

// True when the value's type tag matches; functions pass as objects.
bool hasType(const Napi::Value &value, JsType type);

// Runs the count check (when minCount > 0) and then the rules in order.
// Returns the message of the first failing check, or nullptr.
const char *firstArgFault(const Napi::CallbackInfo &info, size_t minCount,
                          std::initializer_list<ArgRule> rules);

// Throws an Error (or TypeError) with `message` and no code; returns -1,
// which JavaScript never sees because the exception is pending.
Napi::Value throwArgError(Napi::Env env, const char *message);
Napi::Value throwArgTypeError(Napi::Env env, const char *message);

// Reads without coercion, after the type check has passed.
std::string stringArg(const Napi::Value &value);
uint32_t uint32Arg(const Napi::Value &value);

// Property reads of parameter objects go through JavaScript's coercions.
std::string coercedString(const Napi::Value &value);
uint32_t coercedUint32(const Napi::Value &value);

// Two strings, (first, second): checks them and reads them into `first`
// and `second`; the message of the first fault, or nullptr.
const char *readTwoStrings(const Napi::CallbackInfo &info, std::string &first,
                           std::string &second);

// True when a text would be cut at an embedded NUL on its way to the SDK.
bool hasEmbeddedNul(const std::string &text);

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_ARGUMENTS_H
