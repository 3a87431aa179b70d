// The few file operations the simulator needs, for POSIX and Windows. Paths
// are narrow strings as the library receives them: bytes on POSIX, the ANSI
// code page on Windows.
#ifndef VARN_QCF_STANDIN_SDK_FILES_H
#define VARN_QCF_STANDIN_SDK_FILES_H

#include <cstddef>
#include <string>

namespace qcf_standin {

enum class PathKind { kMissing, kFile, kDirectory, kUnknown };
PathKind KindOfPath(const std::string& path);

// The directory part of `path` ("." for a bare file name), as it is written.
std::string ParentDirectory(const std::string& path);

enum class ReadResult { kOk, kMissing, kFailed, kTooLarge };
ReadResult ReadWholeFile(const std::string& path, size_t limit,
                         std::string* bytes);

// Writes `bytes` to a new file beside `path`, flushes it to the disk and
// only then moves it to `path`, so that readers see the old file or the new
// one, never a part. Without `replace` an existing `path` is left alone and
// kExists returned, even when it appears while the bytes are written.
enum class WriteResult { kOk, kExists, kFailed };
WriteResult WriteFileAtomically(const std::string& path,
                                const std::string& bytes, bool replace);

bool RemoveFile(const std::string& path);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_FILES_H
