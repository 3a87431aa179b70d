#include "files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform.h"

namespace qcf_standin {
namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
unsigned long ProcessId() { return GetCurrentProcessId(); }
#else
constexpr const char* kSeparators = "/";
unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
#endif

// A name beside `path` that no other writer uses at the same time: the
// process id tells processes apart, the counter threads and calls.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return path + ".tmp-" + std::to_string(ProcessId()) + "-" +
         std::to_string(++counter);
}

#ifdef _WIN32

bool WriteNewFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) &&
         written > 0;
    done += written;
  }
  ok = FlushFileBuffers(file) && ok;
  ok = CloseHandle(file) && ok;
  return ok;
}

WriteResult MoveInPlace(const std::string& from, const std::string& to,
                        bool replace) {
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (replace) flags |= MOVEFILE_REPLACE_EXISTING;
  if (MoveFileExA(from.c_str(), to.c_str(), flags)) return WriteResult::kOk;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
             ? WriteResult::kExists
             : WriteResult::kFailed;
}

#else

bool WriteNewFile(const std::string& path, const std::string& bytes) {
  // Key material: readable by its owner only.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                      S_IRUSR | S_IWUSR);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    ok = written > 0;
    if (ok) done += static_cast<size_t>(written);
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  return ok;
}

WriteResult MoveInPlace(const std::string& from, const std::string& to,
                        bool replace) {
  if (replace) {
    return rename(from.c_str(), to.c_str()) == 0 ? WriteResult::kOk
                                                 : WriteResult::kFailed;
  }
  // link() never replaces: it fails with EEXIST when `to` exists.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return WriteResult::kOk;
  }
  if (errno == EEXIST) return WriteResult::kExists;
  // A file system without hard links: check, then move.
  if (KindOfPath(to) != PathKind::kMissing) return WriteResult::kExists;
  return rename(from.c_str(), to.c_str()) == 0 ? WriteResult::kOk
                                               : WriteResult::kFailed;
}

#endif

}  // namespace

PathKind KindOfPath(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? PathKind::kMissing
               : PathKind::kUnknown;
  }
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::kDirectory
                                               : PathKind::kFile;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing
                                               : PathKind::kUnknown;
  }
  return S_ISDIR(info.st_mode) ? PathKind::kDirectory : PathKind::kFile;
#endif
}

std::string ParentDirectory(const std::string& path) {
  const size_t last = path.find_last_of(kSeparators);
  if (last == std::string::npos) {
#ifdef _WIN32
    // "C:name" lies in the current directory of drive C.
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
#endif
    return ".";
  }
  if (last == 0) return path.substr(0, 1);
#ifdef _WIN32
  if (last == 2 && path[1] == ':') return path.substr(0, 3);
#endif
  return path.substr(0, last);
}

ReadResult ReadWholeFile(const std::string& path, size_t limit,
                         std::string* bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  }
  bytes->clear();
  char chunk[4096];
  ReadResult result = ReadResult::kOk;
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got == 0) break;
    if (bytes->size() + got > limit) {
      result = ReadResult::kTooLarge;
      break;
    }
    bytes->append(chunk, got);
  }
  if (result == ReadResult::kOk && std::ferror(file)) {
    result = ReadResult::kFailed;
  }
  std::fclose(file);
  return result;
}

WriteResult WriteFileAtomically(const std::string& path,
                                const std::string& bytes, bool replace) {
  const std::string temporary = TemporaryName(path);
  if (!WriteNewFile(temporary, bytes)) {
    RemoveFile(temporary);
    return WriteResult::kFailed;
  }
  const WriteResult result = MoveInPlace(temporary, path, replace);
  if (result != WriteResult::kOk) RemoveFile(temporary);
  return result;
}

bool RemoveFile(const std::string& path) {
  return std::remove(path.c_str()) == 0;
}

}  // namespace qcf_standin
