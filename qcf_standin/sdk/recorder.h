// The record of every call made into the library, in order, with the
// arguments as they were on entry.
#ifndef VARN_QCF_STANDIN_SDK_RECORDER_H
#define VARN_QCF_STANDIN_SDK_RECORDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qcf_control.h"

namespace qcf_standin {

struct Arg {
  int kind = QCFCTL_ARG_NULL;
  std::string bytes;  // TEXT (without its NUL) and BYTES
  double number = 0;  // NUMBER, and 0/1 for HANDLE
};

Arg NullArg();
Arg TextArg(const char* text);
Arg NumberArg(double value);
Arg BytesArg(const void* data, size_t size);
// Handlers, key handles and output pointers: only whether they are null.
Arg HandleArg(bool notNull);
template <typename Pointee>
Arg HandleArg(Pointee* pointer) {
  return HandleArg(pointer != nullptr);
}

// The whole record behind `record`, or NULL for a null pointer.
template <typename Record>
Arg RecordArg(const Record* record) {
  return record ? BytesArg(record, sizeof(Record)) : NullArg();
}

// The number behind `cell`, or NULL for a null pointer.
template <typename Number>
Arg NumberAtArg(const Number* cell) {
  return cell ? NumberArg(static_cast<double>(*cell)) : NullArg();
}

// Does nothing while recording is off.
void RecordCall(const char* name, std::vector<Arg> args);
void SetRecording(bool enabled);
void ClearCalls();

size_t CallCount();
// Null when `call` is out of range.
const char* CallName(size_t call);
size_t CallArgc(size_t call);
// The kind, or -1 when `call` or `arg` is out of range. Output pointers may
// be null.
int CallArg(size_t call, size_t arg, const unsigned char** data, size_t* size,
            double* number);
uint64_t CallThread(size_t call);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_RECORDER_H
