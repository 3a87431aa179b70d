// Time-stamped records appended to log.txt.
#ifndef VARN_DIAGNOSTICS_LOG_FILE_H
#define VARN_DIAGNOSTICS_LOG_FILE_H

#include <cstddef>

namespace VarnNode {

// Appends one record "YYYY-MM-DD HH:MM:SS - <message>\n" (local time) to
// "log.txt" in the current working directory of the moment. The file is
// opened in text mode, so on Windows every line feed, including those inside
// the message, is written as CR LF; the message bytes are otherwise unchanged.
//
// The file is opened, written, flushed and closed on every call, with shared
// access, so each call is independent and safe from any thread. When the file
// cannot be opened, "无法打开日志文件" goes to std::cerr and the record is
// dropped. Never throws; other failures are ignored.
//
// `length` bytes of `message` are written (embedded NULs included); a null
// message is written as an empty one.
void writeLog(const char *message, size_t length) noexcept;

// The same for a NUL-terminated text, taken up to its NUL.
void writeLog(const char *message) noexcept;

}  // namespace VarnNode

#endif  // VARN_DIAGNOSTICS_LOG_FILE_H
