#include "events/js_thread.h"

#include <atomic>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
// windows.h first.
#include <tlhelp32.h>
#elif defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <pthread.h>
#endif

namespace VarnNode {
namespace {
std::atomic<std::thread::id> jsThread{};
}

void recordJsThread() {
  // The first initialisation wins: the process-wide dispatcher runs its jobs
  // on the thread that loaded the module first, whatever worker threads load
  // it later.
  std::thread::id none{};
  jsThread.compare_exchange_strong(none, std::this_thread::get_id());
}

bool onJsThread() { return jsThread.load() == std::this_thread::get_id(); }

#if defined(_WIN32)
// The main thread is the process's oldest thread. When the threads cannot be
// listed the answer is yes, as it is on the usual path.
bool onProcessMainThread() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return true;
  const DWORD process = GetCurrentProcessId();
  DWORD oldest = 0;
  ULONGLONG oldestCreated = ~0ULL;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more;
       more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != process) continue;
    HANDLE thread =
        OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
      const ULONGLONG when =
          (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) |
          created.dwLowDateTime;
      if (when < oldestCreated) {
        oldestCreated = when;
        oldest = entry.th32ThreadID;
      }
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return oldest == 0 || oldest == GetCurrentThreadId();
}
#elif defined(__linux__)
// The main thread's id is the process id.
bool onProcessMainThread() {
  return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}
#elif defined(__APPLE__)
bool onProcessMainThread() { return pthread_main_np() != 0; }
#else
bool onProcessMainThread() { return true; }
#endif

}  // namespace VarnNode
