// An exclusive lock on a file that every process using the same key file
// takes, so that one of them at a time reads, changes and writes the store.
// The lock belongs to an open file, not to the key file itself, which is
// replaced by every write.
#ifndef VARN_QCF_STANDIN_SDK_FILE_LOCK_H
#define VARN_QCF_STANDIN_SDK_FILE_LOCK_H

#include <string>

namespace qcf_standin {

class FileLock {
 public:
  // Creates `path` if needed and waits up to `timeoutMs` for the lock.
  FileLock(const std::string& path, int timeoutMs);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // False when the lock file could not be opened or created.
  bool opened() const { return opened_; }
  bool held() const { return held_; }

 private:
  bool opened_ = false;
  bool held_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_FILE_LOCK_H
