// The log and exception handlers installed by the host, and the calls of
// them: from within a library call, or from threads of the library's own.
#ifndef VARN_QCF_STANDIN_SDK_HANDLERS_H
#define VARN_QCF_STANDIN_SDK_HANDLERS_H

#include <string>
#include <vector>

#include "qcf.h"

namespace qcf_standin {

enum EmissionKind { kEmitLog = 0, kEmitException = 1 };

// One handler call. A message can be null, to see how a host copes with it.
struct Emission {
  int kind = kEmitLog;
  int value = 0;  // the exception handler's first argument
  bool hasMessage = true;
  std::string message;
  bool ownThread = false;  // on a thread of the library's own, joined
};

void InstallLogHandler(QCF_LogHandler handler);
void InstallExceptionHandler(QCF_ExceptionHandler handler);
void DropHandlers();

// Calls the installed handler; without one the message is dropped. No lock
// is held during the call, so a handler may call back into the library.
void EmitLog(const char* message);
void Emit(const Emission& emission);
// Makes the emissions in order, each finished before the next starts.
void EmitAll(const std::vector<Emission>& emissions);

// Starts `threads` threads that each make `emission` `count` times; waits
// for them when `wait` is set, else they are joined by JoinAsyncEmitters.
void StartAsyncEmitters(const Emission& emission, int threads, int count,
                        bool wait);
void JoinAsyncEmitters();

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_HANDLERS_H
