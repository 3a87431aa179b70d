// Key operations: security module information, key groups and their keys,
// and the security module report.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "call_frame.h"
#include "errors.h"
#include "guard.h"
#include "qcf.h"
#include "simulator.h"

using namespace qcf_standin;

namespace {

constexpr size_t kGroupIdSize = 64;
constexpr size_t kKeyBufferSize = 256;

// Scripted bytes are copied as given, cut to the room there is; nothing
// else is written, no NUL is added.
int WriteBytes(const Script& script, void* target, size_t room) {
  if (!target) return kInvalidArgument;
  if (!script.bytesNull && !script.bytes.empty()) {
    std::memcpy(target, script.bytes.data(),
                std::min(script.bytes.size(), room));
  }
  return kOk;
}

int WriteKeyHandle(const Script& script, void** keyHandle) {
  if (!keyHandle) return kInvalidArgument;
  if (script.nullHandle) *keyHandle = nullptr;
  return kOk;
}

// A scripted length is reported as given, whatever it is, while at most the
// buffer's 256 bytes are written.
int WriteKey(const Script& script, int32_t* keyLen, unsigned char* key) {
  if (!keyLen || !key) return kInvalidArgument;
  if (script.hasBytes) WriteBytes(script, key, kKeyBufferSize);
  if (script.number) {
    *keyLen = static_cast<int32_t>(*script.number);
  } else if (script.hasBytes) {
    *keyLen = static_cast<int32_t>(script.bytes.size());
  }
  return kOk;
}

}  // namespace

extern "C" {

QCF_API int QCF_GetSPMKeyInfo(QCF_SpmKeyQuery* query, QCF_SpmKeyInfo* info) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_GetSPMKeyInfo", {RecordArg(query), HandleArg(info)});
    return frame.Answer([&] { return Sim().GetSpmKeyInfo(query, info); },
                        [&](const Script& script) {
                          return WriteBytes(script, info,
                                            sizeof(QCF_SpmKeyInfo));
                        });
  });
}

QCF_API int QCF_CreateGroup(const char* first, uint32_t second, int32_t* cell,
                            const char* third, char groupId[64]) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_CreateGroup",
                    {TextArg(first), NumberArg(second), NumberAtArg(cell),
                     TextArg(third), BytesArg(groupId, kGroupIdSize)});
    return frame.Answer(
        [&] { return Sim().CreateGroup(first, second, cell, third, groupId); },
        [&](const Script& script) {
          return WriteBytes(script, groupId, kGroupIdSize);
        });
  });
}

QCF_API int QCF_ApplyKeyWithGroupID(const char* first, const char* second,
                                    void** keyHandle) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ApplyKeyWithGroupID",
                    {TextArg(first), TextArg(second), HandleArg(keyHandle)});
    return frame.Answer(
        [&] { return Sim().ApplyKey(first, second, keyHandle); },
        [&](const Script& script) {
          return WriteKeyHandle(script, keyHandle);
        });
  });
}

QCF_API int QCF_ExportKey(void* keyHandle, int32_t* keyLen,
                          unsigned char key[256]) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ExportKey",
                    {HandleArg(keyHandle), HandleArg(keyLen), HandleArg(key)});
    return frame.Answer(
        [&] { return Sim().ExportKey(keyHandle, keyLen, key); },
        [&](const Script& script) { return WriteKey(script, keyLen, key); });
  });
}

QCF_API int QCF_ReportSPMWithSignPubkey(const char* first, const char* second,
                                        int32_t port) {
  return Guarded<int>(kInternalError, [&] {
    CallFrame frame("QCF_ReportSPMWithSignPubkey",
                    {TextArg(first), TextArg(second), NumberArg(port)});
    return frame.Answer([&] { return Sim().Report(first, second, port); });
  });
}

}  // extern "C"
