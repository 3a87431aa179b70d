// qcf_control.node: the stand-in's control interface for JavaScript tests.
//
//   reset(options?)               forget calls, scripts and the session;
//                                 options {dropHandlers = false} (a boolean
//                                 means dropHandlers)
//   clearCalls()                  forget the recorded calls alone
//   calls() / callsRaw()          [{name, args, thread}]; texts as strings
//                                 (calls) or as Buffers with the exact bytes
//                                 (callsRaw), records as Buffers, numbers,
//                                 null for null pointers, booleans for
//                                 handles (true: not null)
//   script(name, options)         queue a scripted answer for `name`
//   emitAsync(options)            call the handlers from threads of its own
//   joinThreads()                 wait for the threads of emitAsync
//   setDelay(ms)                  a slow SDK: calls that would reach the key
//                                 server or change the session wait at
//                                 least `ms` milliseconds (fractions dropped,
//                                 at most 60000); reset() returns to
//                                 QCF_STANDIN_DELAY_MS's value
//   threadId()                    id of the calling thread, as in calls()
//   errorText(code)               the library's default text for a code
#include <napi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "qcf_control.h"

namespace {

Napi::Value ArgValue(Napi::Env env, size_t call, size_t arg, bool rawText) {
  const unsigned char* data = nullptr;
  size_t size = 0;
  double number = 0;
  const int kind = qcfctl_call_arg(call, arg, &data, &size, &number);
  if (size == 0) data = reinterpret_cast<const unsigned char*>("");
  switch (kind) {
    case QCFCTL_ARG_TEXT:
      if (!rawText) {
        return Napi::String::New(env, reinterpret_cast<const char*>(data),
                                 size);
      }
      return Napi::Buffer<unsigned char>::Copy(env, data, size);
    case QCFCTL_ARG_BYTES:
      return Napi::Buffer<unsigned char>::Copy(env, data, size);
    case QCFCTL_ARG_NUMBER:
      return Napi::Number::New(env, number);
    case QCFCTL_ARG_HANDLE:
      return Napi::Boolean::New(env, number != 0);
    default:
      return env.Null();
  }
}

Napi::Array RecordedCalls(Napi::Env env, bool rawText) {
  const size_t count = qcfctl_call_count();
  Napi::Array calls = Napi::Array::New(env, count);
  for (size_t i = 0; i < count; ++i) {
    const char* name = qcfctl_call_name(i);
    const size_t argc = qcfctl_call_argc(i);
    Napi::Array args = Napi::Array::New(env, argc);
    for (size_t a = 0; a < argc; ++a) {
      args.Set(static_cast<uint32_t>(a), ArgValue(env, i, a, rawText));
    }
    Napi::Object call = Napi::Object::New(env);
    call.Set("name", Napi::String::New(env, name ? name : ""));
    call.Set("args", args);
    call.Set("thread", Napi::Number::New(
                           env, static_cast<double>(qcfctl_call_thread(i))));
    calls.Set(static_cast<uint32_t>(i), call);
  }
  return calls;
}

// An optional property; undefined when the options are not an object.
Napi::Value Option(const Napi::Value& options, const char* key) {
  if (!options.IsObject()) return options.Env().Undefined();
  return options.As<Napi::Object>().Get(key);
}

[[noreturn]] void ThrowType(Napi::Env env, const std::string& message) {
  throw Napi::TypeError::New(env, message);
}

int32_t Int32Option(const Napi::Value& options, const char* key,
                    int32_t fallback) {
  Napi::Value value = Option(options, key);
  if (value.IsUndefined()) return fallback;
  if (!value.IsNumber())
    ThrowType(value.Env(), std::string(key) + " must be a number");
  return value.As<Napi::Number>().Int32Value();
}

bool BoolOption(const Napi::Value& options, const char* key) {
  return Option(options, key).ToBoolean().Value();
}

struct Message {
  bool isNull = false;
  std::string text;
  const char* c_str() const { return isNull ? nullptr : text.c_str(); }
};

// A message: a string, or null for a null message; absent means "".
Message MessageOption(const Napi::Value& options) {
  Napi::Value value = Option(options, "message");
  Message message;
  if (value.IsUndefined()) return message;
  if (value.IsNull()) {
    message.isNull = true;
  } else if (value.IsString()) {
    message.text = value.As<Napi::String>().Utf8Value();
  } else {
    ThrowType(value.Env(), "message must be a string or null");
  }
  return message;
}

int KindOption(const Napi::Value& options) {
  Napi::Value value = Option(options, "kind");
  if (value.IsUndefined()) return 0;
  const std::string kind =
      value.IsString() ? value.As<Napi::String>().Utf8Value() : "";
  if (kind == "log") return 0;
  if (kind == "exception") return 1;
  ThrowType(value.Env(), "kind must be 'log' or 'exception'");
}

struct ScriptedBytes {
  bool present = false;
  bool isNull = false;
  std::string bytes;
};

// The output bytes under `bytes`, `token` or `text`: a string (UTF-8), a
// Buffer or Uint8Array (exact bytes), or null.
ScriptedBytes BytesOption(const Napi::Value& options) {
  ScriptedBytes out;
  for (const char* key : {"bytes", "token", "text"}) {
    Napi::Value value = Option(options, key);
    if (value.IsUndefined()) continue;
    out.present = true;
    if (value.IsNull()) {
      out.isNull = true;
    } else if (value.IsString()) {
      out.bytes = value.As<Napi::String>().Utf8Value();
    } else if (value.IsTypedArray() &&
               value.As<Napi::TypedArray>().TypedArrayType() ==
                   napi_uint8_array) {
      Napi::Uint8Array array = value.As<Napi::Uint8Array>();
      out.bytes.assign(reinterpret_cast<const char*>(array.Data()),
                       array.ByteLength());
    } else {
      ThrowType(value.Env(),
                std::string(key) + " must be a string, a Buffer or null");
    }
    return out;
  }
  return out;
}

struct EmitOption {
  int kind;
  int value;
  Message message;
  bool ownThread;
};

std::vector<EmitOption> EmitOptions(const Napi::Value& options) {
  std::vector<EmitOption> emits;
  Napi::Value value = Option(options, "emit");
  if (value.IsUndefined()) return emits;
  if (!value.IsArray()) ThrowType(value.Env(), "emit must be an array");
  Napi::Array array = value.As<Napi::Array>();
  for (uint32_t i = 0; i < array.Length(); ++i) {
    Napi::Value entry = array.Get(i);
    if (!entry.IsObject())
      ThrowType(entry.Env(), "emit entries must be objects");
    emits.push_back(
        EmitOption{KindOption(entry), Int32Option(entry, "value", 0),
                   MessageOption(entry), BoolOption(entry, "ownThread")});
  }
  return emits;
}

void Reset(const Napi::CallbackInfo& info) {
  Napi::Value options = info.Length() > 0 ? info[0] : info.Env().Undefined();
  int flags = 0;
  if (options.IsBoolean()) {
    if (options.As<Napi::Boolean>().Value())
      flags |= QCFCTL_RESET_DROP_HANDLERS;
  } else if (options.IsObject()) {
    if (BoolOption(options, "dropHandlers"))
      flags |= QCFCTL_RESET_DROP_HANDLERS;
  } else if (!options.IsUndefined()) {
    ThrowType(info.Env(), "reset options must be an object or a boolean");
  }
  qcfctl_reset(flags);
}

void ClearCalls(const Napi::CallbackInfo&) { qcfctl_clear_calls(); }

Napi::Value Calls(const Napi::CallbackInfo& info) {
  return RecordedCalls(info.Env(), false);
}

Napi::Value CallsRaw(const Napi::CallbackInfo& info) {
  return RecordedCalls(info.Env(), true);
}

// script(name, {code, times, bytes|token|text, number, nullHandle, emit})
void Script(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (info.Length() < 1 || !info[0].IsString()) {
    ThrowType(env, "script needs a function name");
  }
  const std::string name = info[0].As<Napi::String>().Utf8Value();
  if (!qcfctl_is_function(name.c_str()))
    ThrowType(env, "unknown function name " + name);
  Napi::Value options = info.Length() > 1 ? info[1] : env.Undefined();
  if (!options.IsUndefined() && !options.IsObject()) {
    ThrowType(env, "script options must be an object");
  }

  // Everything is read before the script is begun, so that a bad option
  // cannot leave a half-built script behind.
  const int times = Int32Option(options, "times", 1);
  const bool hasCode = !Option(options, "code").IsUndefined();
  const int code = Int32Option(options, "code", 0);
  const ScriptedBytes bytes = BytesOption(options);
  Napi::Value numberValue = Option(options, "number");
  if (!numberValue.IsUndefined() && !numberValue.IsNumber()) {
    ThrowType(env, "number must be a number");
  }
  const bool nullHandle = BoolOption(options, "nullHandle");
  const std::vector<EmitOption> emits = EmitOptions(options);

  qcfctl_script_begin(name.c_str(), times);
  if (hasCode) qcfctl_script_code(code);
  if (bytes.present) {
    qcfctl_script_bytes(bytes.bytes.data(), bytes.bytes.size(),
                        bytes.isNull ? 1 : 0);
  }
  if (numberValue.IsNumber()) {
    qcfctl_script_number(numberValue.As<Napi::Number>().Int64Value());
  }
  if (nullHandle) qcfctl_script_null_handle();
  for (const EmitOption& emit : emits) {
    qcfctl_script_emit(emit.kind, emit.value, emit.message.c_str(),
                       emit.ownThread ? 1 : 0);
  }
  qcfctl_script_end();
}

// emitAsync({kind, value, message, threads, count, wait})
void EmitAsync(const Napi::CallbackInfo& info) {
  Napi::Value options = info.Length() > 0 ? info[0] : info.Env().Undefined();
  const int kind = KindOption(options);
  const int value = Int32Option(options, "value", 0);
  const Message message = MessageOption(options);
  const int threads = Int32Option(options, "threads", 1);
  const int count = Int32Option(options, "count", 1);
  qcfctl_emit_async(kind, value, message.c_str(), threads, count,
                    BoolOption(options, "wait") ? 1 : 0);
}

void JoinThreads(const Napi::CallbackInfo&) { qcfctl_join_threads(); }

// Cut to the library's maximum here, before the conversion to 32 bits could
// turn a large value into a small one.
void SetDelay(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  const double ms = info.Length() > 0 && info[0].IsNumber()
                        ? info[0].As<Napi::Number>().DoubleValue()
                        : -1;
  if (!(ms >= 0)) ThrowType(env, "setDelay needs milliseconds, 0 or more");
  qcfctl_set_delay(static_cast<uint32_t>(std::floor(std::min(ms, 60000.0))));
}

Napi::Value ThreadId(const Napi::CallbackInfo& info) {
  return Napi::Number::New(info.Env(), static_cast<double>(qcfctl_thread_id()));
}

Napi::Value ErrorText(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (info.Length() < 1 || !info[0].IsNumber()) {
    ThrowType(env, "errorText needs a code");
  }
  return Napi::String::New(
      env, qcfctl_error_text(info[0].As<Napi::Number>().Int32Value()));
}

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  exports.Set("reset", Napi::Function::New(env, Reset, "reset"));
  exports.Set("clearCalls", Napi::Function::New(env, ClearCalls, "clearCalls"));
  exports.Set("calls", Napi::Function::New(env, Calls, "calls"));
  exports.Set("callsRaw", Napi::Function::New(env, CallsRaw, "callsRaw"));
  exports.Set("script", Napi::Function::New(env, Script, "script"));
  exports.Set("emitAsync", Napi::Function::New(env, EmitAsync, "emitAsync"));
  exports.Set("joinThreads",
              Napi::Function::New(env, JoinThreads, "joinThreads"));
  exports.Set("setDelay", Napi::Function::New(env, SetDelay, "setDelay"));
  exports.Set("threadId", Napi::Function::New(env, ThreadId, "threadId"));
  exports.Set("errorText", Napi::Function::New(env, ErrorText, "errorText"));
  return exports;
}

}  // namespace

NODE_API_MODULE(qcf_control, Init)
