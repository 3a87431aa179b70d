// Key operations: security module information, key groups and their keys,
// and the security module report.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "key_store.h"
#include "mode.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

namespace {

constexpr size_t kGroupIdSize = 64;
constexpr size_t kKeyBufferSize = 256;
static_assert(kGroupKeyLength <= kKeyBufferSize, "a group key fits the buffer");

// Scripted bytes are copied as given, cut to the room there is; nothing
// else is written, no NUL is added.
void CopyScriptedBytes(const Script& script, void* target, size_t room) {
  if (script.bytesNull || script.bytes.empty()) return;
  std::memcpy(target, script.bytes.data(), std::min(script.bytes.size(), room));
}

int WriteSpmKeyInfo(const Script* script, QCF_SpmKeyInfo* info) {
  if (script && script->hasBytes) {
    CopyScriptedBytes(*script, info, sizeof *info);
    return kOk;
  }
  const QCF_SpmKeyInfo defaults = DefaultSpmKeyInfo();
  std::memcpy(info, &defaults, sizeof defaults);
  return kOk;
}

int WriteGroupId(const Script* script, char* groupId) {
  if (script && script->hasBytes) {
    CopyScriptedBytes(*script, groupId, kGroupIdSize);
    // A scripted id names a group like any other, so its key can be applied.
    std::string id = script->bytes.substr(0, kGroupIdSize);
    Store().AddGroup(id.substr(0, id.find('\0')));
    return kOk;
  }
  const std::string id = Store().CreateGroup();
  std::memcpy(groupId, id.c_str(), id.size() + 1);
  return kOk;
}

int WriteKeyHandle(const Script* script, const char* first, const char* second,
                   void** keyHandle) {
  if (script && script->nullHandle) {
    *keyHandle = nullptr;
    return kOk;
  }
  if (!first || !second) return kInvalidArgument;
  void* handle = Store().ApplyKey(first, second);
  if (!handle) return kUnknownGroup;
  *keyHandle = handle;
  return kOk;
}

// A scripted length is reported as given, whatever it is, while at most the
// buffer's 256 bytes are written.
int WriteKey(const Script* script, const void* keyHandle, int32_t* keyLen,
             unsigned char* key) {
  std::vector<unsigned char> stored;
  const bool known = Store().ExportKey(keyHandle, &stored);
  if (script && script->HasOutputs()) {
    if (script->hasBytes) {
      CopyScriptedBytes(*script, key, kKeyBufferSize);
    } else if (known) {
      std::memcpy(key, stored.data(), stored.size());
    }
    const int64_t length = script->number ? *script->number
                           : script->hasBytes
                               ? static_cast<int64_t>(script->bytes.size())
                               : static_cast<int64_t>(stored.size());
    *keyLen = static_cast<int32_t>(length);
    return kOk;
  }
  if (!known) return kInvalidKeyHandle;
  std::memcpy(key, stored.data(), stored.size());
  *keyLen = static_cast<int32_t>(stored.size());
  return kOk;
}

}  // namespace

extern "C" {

QCF_API int QCF_GetSPMKeyInfo(QCF_SpmKeyQuery* query, QCF_SpmKeyInfo* info) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_GetSPMKeyInfo", {RecordArg(query), HandleArg(info)});
    if (Simulating()) {
      return frame.Simulate([&] { return Sim().GetSpmKeyInfo(query, info); });
    }
    if (!query || !info) return frame.Finish(kInvalidArgument, kLogLine);
    return frame.Finish(WriteSpmKeyInfo(frame.script(), info), kLogLine);
  });
}

QCF_API int QCF_CreateGroup(const char* first, uint32_t second, int32_t* cell,
                            const char* third, char groupId[64]) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_CreateGroup",
                    {TextArg(first), NumberArg(second), NumberAtArg(cell),
                     TextArg(third), BytesArg(groupId, kGroupIdSize)});
    if (Simulating()) {
      return frame.Simulate([&] {
        return Sim().CreateGroup(first, second, cell, third, groupId);
      });
    }
    if (!first || !third || !groupId) {
      return frame.Finish(kInvalidArgument, kLogLine);
    }
    return frame.Finish(WriteGroupId(frame.script(), groupId), kLogLine);
  });
}

QCF_API int QCF_ApplyKeyWithGroupID(const char* first, const char* second,
                                    void** keyHandle) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ApplyKeyWithGroupID",
                    {TextArg(first), TextArg(second), HandleArg(keyHandle)});
    if (Simulating()) {
      return frame.Simulate(
          [&] { return Sim().ApplyKey(first, second, keyHandle); });
    }
    if (!keyHandle) return frame.Finish(kInvalidArgument, kLogLine);
    return frame.Finish(
        WriteKeyHandle(frame.script(), first, second, keyHandle), kLogLine);
  });
}

QCF_API int QCF_ExportKey(void* keyHandle, int32_t* keyLen,
                          unsigned char key[256]) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ExportKey",
                    {HandleArg(keyHandle), HandleArg(keyLen), HandleArg(key)});
    if (Simulating()) {
      return frame.Simulate(
          [&] { return Sim().ExportKey(keyHandle, keyLen, key); });
    }
    if (!keyLen || !key) return frame.Finish(kInvalidArgument, kLogLine);
    return frame.Finish(WriteKey(frame.script(), keyHandle, keyLen, key),
                        kLogLine);
  });
}

QCF_API int QCF_ReportSPMWithSignPubkey(const char* first, const char* second,
                                        int32_t port) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ReportSPMWithSignPubkey",
                    {TextArg(first), TextArg(second), NumberArg(port)});
    if (Simulating()) {
      return frame.Simulate([&] { return Sim().Report(first, second, port); });
    }
    if (!first || !second) return frame.Finish(kInvalidArgument, kLogLine);
    return frame.Finish(kOk, kLogLine);
  });
}

}  // extern "C"
