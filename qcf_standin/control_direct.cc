// Arguments: texts as strings (null: a null pointer), records as Buffers
// (null: a null pointer; shorter ones are zero-padded), numbers, key handles
// as BigInts. A trailing `false` passes null for every output pointer.
// Outputs are written into buffers with guard bytes behind them, and each
// result says whether the library wrote past the room it was given.
#include "control_direct.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "qcf.h"
#include "qcf_control.h"

namespace {

struct Handled {
  int kind;
  int value;
  bool hasMessage;
  std::string message;
  uint64_t thread;
};

std::mutex g_handledMutex;
std::vector<Handled>* g_handled = new std::vector<Handled>;  // never freed

void Capture(int kind, int value, const char* message) {
  std::lock_guard<std::mutex> lock(g_handledMutex);
  g_handled->push_back(Handled{kind, value, message != nullptr,
                               message ? message : "", qcfctl_thread_id()});
}

void CaptureLog(const char* message) { Capture(0, 0, message); }
void CaptureException(int value, const char* message) {
  Capture(1, value, message);
}

// Output room followed by guard bytes that the library must leave alone.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t room) : room_(room), bytes_(room + kGuard) {
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(room_), bytes_.end(),
              kGuardByte);
  }
  unsigned char* data() { return bytes_.data(); }
  bool Overrun() const {
    return std::any_of(bytes_.begin() + static_cast<std::ptrdiff_t>(room_),
                       bytes_.end(),
                       [](unsigned char b) { return b != kGuardByte; });
  }
  Napi::Value Room(Napi::Env env) const {
    return Napi::Buffer<unsigned char>::Copy(env, bytes_.data(), room_);
  }

 private:
  static constexpr size_t kGuard = 64;
  static constexpr unsigned char kGuardByte = 0xEE;
  size_t room_;
  std::vector<unsigned char> bytes_;
};

struct Text {
  bool isNull = true;
  std::string text;
  const char* get() const { return isNull ? nullptr : text.c_str(); }
};

Text TextArg(const Napi::CallbackInfo& info, size_t i) {
  Text text;
  if (i < info.Length() && info[i].IsString()) {
    text.isNull = false;
    text.text = info[i].As<Napi::String>().Utf8Value();
  }
  return text;
}

// A record filled from a Buffer argument, or absent for null.
template <typename Record>
struct RecordArg {
  bool isNull = true;
  Record record{};
  Record* get() { return isNull ? nullptr : &record; }
};

template <typename Record>
RecordArg<Record> ReadRecord(const Napi::CallbackInfo& info, size_t i) {
  RecordArg<Record> out;
  if (i < info.Length() && info[i].IsBuffer()) {
    auto buffer = info[i].As<Napi::Buffer<unsigned char>>();
    out.isNull = false;
    std::memcpy(&out.record, buffer.Data(),
                std::min(buffer.Length(), sizeof(Record)));
  }
  return out;
}

uint32_t U32Arg(const Napi::CallbackInfo& info, size_t i) {
  return i < info.Length() && info[i].IsNumber()
             ? info[i].As<Napi::Number>().Uint32Value()
             : 0;
}

int32_t I32Arg(const Napi::CallbackInfo& info, size_t i) {
  return i < info.Length() && info[i].IsNumber()
             ? info[i].As<Napi::Number>().Int32Value()
             : 0;
}

bool OutputsWanted(const Napi::CallbackInfo& info, size_t i) {
  return !(i < info.Length() && info[i].IsBoolean() &&
           !info[i].As<Napi::Boolean>().Value());
}

Napi::Value TextOrNull(Napi::Env env, const char* text) {
  return text ? Napi::String::New(env, text) : env.Null();
}

Napi::Object CodeResult(Napi::Env env, int code) {
  Napi::Object result = Napi::Object::New(env);
  result.Set("code", code);
  return result;
}

Napi::Value PreActivate(const Napi::CallbackInfo& info) {
  return CodeResult(info.Env(), QCF_PreActivate());
}

Napi::Value Custom(const Napi::CallbackInfo& info) {
  const Text key = TextArg(info, 0);
  const Text value = TextArg(info, 1);
  return CodeResult(info.Env(), QCF_Custom(key.get(), value.get()));
}

Napi::Value SetKeyFilePath(const Napi::CallbackInfo& info) {
  const Text path = TextArg(info, 0);
  return CodeResult(info.Env(), QCF_SetKeyFilePath(path.get()));
}

// true installs the capturing handler, anything else installs null.
Napi::Value SetLogHandler(const Napi::CallbackInfo& info) {
  const bool install = info.Length() > 0 && info[0].ToBoolean().Value();
  return CodeResult(info.Env(),
                    QCF_SetLogHandler(install ? CaptureLog : nullptr));
}

Napi::Value SetExceptionHandler(const Napi::CallbackInfo& info) {
  const bool install = info.Length() > 0 && info[0].ToBoolean().Value();
  return CodeResult(info.Env(), QCF_SetExceptionHandler(
                                    install ? CaptureException : nullptr));
}

Napi::Value Init(const Napi::CallbackInfo& info) {
  auto server = ReadRecord<QCF_ServerInfo>(info, 0);
  auto user = ReadRecord<QCF_UserInfo>(info, 1);
  auto csp = ReadRecord<QCF_CspInfo>(info, 2);
  return CodeResult(info.Env(), QCF_Init(server.get(), user.get(), csp.get()));
}

Napi::Value Finish(const Napi::CallbackInfo& info) {
  return CodeResult(info.Env(), QCF_Finish());
}

// {code, token (string or null), validSeconds}; token starts as null and
// validSeconds as 0 so that untouched outputs show.
Napi::Value LoginResult(Napi::Env env, int code, const char* token,
                        uint32_t validSeconds) {
  Napi::Object result = CodeResult(env, code);
  result.Set("token", TextOrNull(env, token));
  result.Set("validSeconds", Napi::Number::New(env, validSeconds));
  return result;
}

Napi::Value Auth(const Napi::CallbackInfo& info) {
  const bool outs = OutputsWanted(info, 0);
  char* token = nullptr;
  uint32_t validSeconds = 0;
  const int code =
      QCF_Auth(outs ? &token : nullptr, outs ? &validSeconds : nullptr);
  return LoginResult(info.Env(), code, token, validSeconds);
}

Napi::Value AuthPubkey(const Napi::CallbackInfo& info) {
  auto server = ReadRecord<QCF_ServerInfo>(info, 0);
  auto user = ReadRecord<QCF_UserInfo>(info, 1);
  const bool outs = OutputsWanted(info, 2);
  char* token = nullptr;
  uint32_t validSeconds = 0;
  const int code = QCF_Auth_pubkey_WithInfo(server.get(), user.get(),
                                            outs ? &token : nullptr,
                                            outs ? &validSeconds : nullptr);
  return LoginResult(info.Env(), code, token, validSeconds);
}

// (serverAddr, port, serverType, userTokenHandle, item, overWriteFlag|null)
Napi::Value FillKey(const Napi::CallbackInfo& info) {
  const Text serverAddr = TextArg(info, 0);
  const Text userTokenHandle = TextArg(info, 3);
  auto item = ReadRecord<QCF_FillKeyItem>(info, 4);
  uint32_t flag = U32Arg(info, 5);
  const bool hasFlag = info.Length() > 5 && info[5].IsNumber();
  return CodeResult(info.Env(), QCF_FillKey_WithPubkey(
                                    serverAddr.get(), U32Arg(info, 1),
                                    U32Arg(info, 2), userTokenHandle.get(),
                                    item.get(), hasFlag ? &flag : nullptr));
}

Napi::Value ReFillKey(const Napi::CallbackInfo& info) {
  const Text token = TextArg(info, 0);
  return CodeResult(
      info.Env(), QCF_ReFillKey(token.get(), U32Arg(info, 1), U32Arg(info, 2)));
}

// {code, info: the 396-byte record, overrun}
Napi::Value GetSPMKeyInfo(const Napi::CallbackInfo& info) {
  auto query = ReadRecord<QCF_SpmKeyQuery>(info, 0);
  GuardedBuffer out(sizeof(QCF_SpmKeyInfo));
  std::memset(out.data(), 0, sizeof(QCF_SpmKeyInfo));
  const int code = QCF_GetSPMKeyInfo(
      query.get(), OutputsWanted(info, 1)
                       ? reinterpret_cast<QCF_SpmKeyInfo*>(out.data())
                       : nullptr);
  Napi::Object result = CodeResult(info.Env(), code);
  result.Set("info", out.Room(info.Env()));
  result.Set("overrun", out.Overrun());
  return result;
}

// (first, second, cell|null, third, groupId: Buffer to start from | null)
// -> {code, groupId: the 64 bytes, cell, overrun}
Napi::Value CreateGroup(const Napi::CallbackInfo& info) {
  const Text first = TextArg(info, 0);
  const Text third = TextArg(info, 3);
  int32_t cell = I32Arg(info, 2);
  const bool hasCell = info.Length() > 2 && info[2].IsNumber();
  GuardedBuffer groupId(64);
  std::memset(groupId.data(), 0, 64);
  if (info.Length() > 4 && info[4].IsBuffer()) {
    auto start = info[4].As<Napi::Buffer<unsigned char>>();
    std::memcpy(groupId.data(), start.Data(),
                std::min<size_t>(start.Length(), 64));
  }
  const bool nullGroupId = info.Length() > 4 && info[4].IsNull();
  const int code = QCF_CreateGroup(
      first.get(), U32Arg(info, 1), hasCell ? &cell : nullptr, third.get(),
      nullGroupId ? nullptr : reinterpret_cast<char*>(groupId.data()));
  Napi::Object result = CodeResult(info.Env(), code);
  result.Set("groupId", groupId.Room(info.Env()));
  result.Set("cell", cell);
  result.Set("overrun", groupId.Overrun());
  return result;
}

// {code, handle: BigInt, 0n for null}
Napi::Value ApplyKey(const Napi::CallbackInfo& info) {
  const Text first = TextArg(info, 0);
  const Text second = TextArg(info, 1);
  void* handle = nullptr;
  const int code = QCF_ApplyKeyWithGroupID(
      first.get(), second.get(), OutputsWanted(info, 2) ? &handle : nullptr);
  Napi::Object result = CodeResult(info.Env(), code);
  result.Set("handle",
             Napi::BigInt::New(
                 info.Env(),
                 static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle))));
  return result;
}

// (handle: BigInt | null) -> {code, keyLen, key: the 256 bytes, overrun}
Napi::Value ExportKey(const Napi::CallbackInfo& info) {
  uintptr_t handle = 0;
  if (info.Length() > 0 && info[0].IsBigInt()) {
    bool lossless = false;
    handle = static_cast<uintptr_t>(
        info[0].As<Napi::BigInt>().Uint64Value(&lossless));
  }
  const bool outs = OutputsWanted(info, 1);
  int32_t keyLen = -1;
  GuardedBuffer key(256);
  std::memset(key.data(), 0, 256);
  const int code =
      QCF_ExportKey(reinterpret_cast<void*>(handle), outs ? &keyLen : nullptr,
                    outs ? key.data() : nullptr);
  Napi::Object result = CodeResult(info.Env(), code);
  result.Set("keyLen", keyLen);
  result.Set("key", key.Room(info.Env()));
  result.Set("overrun", key.Overrun());
  return result;
}

Napi::Value ReportSPM(const Napi::CallbackInfo& info) {
  const Text first = TextArg(info, 0);
  const Text second = TextArg(info, 1);
  return CodeResult(
      info.Env(),
      QCF_ReportSPMWithSignPubkey(first.get(), second.get(), I32Arg(info, 2)));
}

Napi::Value ErrMessage(const Napi::CallbackInfo& info) {
  return TextOrNull(info.Env(), QCF_ErrMessage(I32Arg(info, 0)));
}

Napi::Value GetSDKVersion(const Napi::CallbackInfo& info) {
  return TextOrNull(info.Env(), QCF_GetSDKVersion());
}

// [{kind: 'log' | 'exception', value, message (string or null), thread}]
Napi::Value HandledMessages(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  std::vector<Handled> handled;
  {
    std::lock_guard<std::mutex> lock(g_handledMutex);
    handled = *g_handled;
  }
  Napi::Array array = Napi::Array::New(env, handled.size());
  for (size_t i = 0; i < handled.size(); ++i) {
    Napi::Object entry = Napi::Object::New(env);
    entry.Set("kind", handled[i].kind == 0 ? "log" : "exception");
    entry.Set("value", handled[i].value);
    entry.Set("message", handled[i].hasMessage ? Napi::Value(Napi::String::New(
                                                     env, handled[i].message))
                                               : env.Null());
    entry.Set("thread", static_cast<double>(handled[i].thread));
    array.Set(static_cast<uint32_t>(i), entry);
  }
  return array;
}

void ClearHandled(const Napi::CallbackInfo&) {
  std::lock_guard<std::mutex> lock(g_handledMutex);
  g_handled->clear();
}

}  // namespace

Napi::Object DirectCalls(Napi::Env env) {
  struct Entry {
    const char* name;
    Napi::Value (*call)(const Napi::CallbackInfo&);
  };
  static const Entry kEntries[] = {
      {"QCF_PreActivate", PreActivate},
      {"QCF_Custom", Custom},
      {"QCF_SetKeyFilePath", SetKeyFilePath},
      {"QCF_SetLogHandler", SetLogHandler},
      {"QCF_SetExceptionHandler", SetExceptionHandler},
      {"QCF_Init", Init},
      {"QCF_Finish", Finish},
      {"QCF_Auth", Auth},
      {"QCF_Auth_pubkey_WithInfo", AuthPubkey},
      {"QCF_FillKey_WithPubkey", FillKey},
      {"QCF_ReFillKey", ReFillKey},
      {"QCF_GetSPMKeyInfo", GetSPMKeyInfo},
      {"QCF_CreateGroup", CreateGroup},
      {"QCF_ApplyKeyWithGroupID", ApplyKey},
      {"QCF_ExportKey", ExportKey},
      {"QCF_ReportSPMWithSignPubkey", ReportSPM},
      {"QCF_ErrMessage", ErrMessage},
      {"QCF_GetSDKVersion", GetSDKVersion},
      {"handled", HandledMessages},
  };
  Napi::Object direct = Napi::Object::New(env);
  for (const Entry& entry : kEntries) {
    direct.Set(entry.name, Napi::Function::New(env, entry.call, entry.name));
  }
  direct.Set("clearHandled",
             Napi::Function::New(env, ClearHandled, "clearHandled"));
  return direct;
}
