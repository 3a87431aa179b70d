#include "file_lock.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform.h"

namespace qcf_standin {
namespace {

using Clock = std::chrono::steady_clock;

// Tries `attempt` until it succeeds or `timeoutMs` have passed.
template <typename Attempt>
bool Retry(int timeoutMs, Attempt&& attempt) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (attempt()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

#ifdef _WIN32

FileLock::FileLock(const std::string& path, int timeoutMs) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  handle_ = file;
  opened_ = true;
  held_ = Retry(timeoutMs, [file] {
    OVERLAPPED at = {};
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                      0, 1, 0, &at) != 0;
  });
}

FileLock::~FileLock() {
  if (!handle_) return;
  HANDLE file = static_cast<HANDLE>(handle_);
  if (held_) {
    OVERLAPPED at = {};
    UnlockFileEx(file, 0, 1, 0, &at);
  }
  CloseHandle(file);
}

#else

FileLock::FileLock(const std::string& path, int timeoutMs) {
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd_ < 0) return;
  opened_ = true;
  // flock() locks the open file description, so two descriptors in one
  // process exclude each other too, unlike fcntl() record locks.
  const int fd = fd_;
  held_ = Retry(timeoutMs, [fd] {
    for (;;) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
      if (errno != EINTR) return false;
    }
  });
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  if (held_) flock(fd_, LOCK_UN);
  close(fd_);
}

#endif

}  // namespace qcf_standin
