#include "diagnostics/log_file.h"

#ifndef _WIN32
#include <fcntl.h>
#endif

#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace VarnNode {
namespace {

// Local time as "%Y-%m-%d %H:%M:%S" appended to `record`; nothing if the
// clock cannot be converted.
void appendLocalTimeStamp(std::string &record) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  const bool converted = localtime_s(&local, &now) == 0;
#else
  const bool converted = localtime_r(&now, &local) != nullptr;
#endif
  char text[80];
  const size_t length =
      converted ? std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local)
                : 0;
  record.append(text, length);
}

// The file opened for appending, written with one system call per record so
// that records of concurrent writers (SDK threads, other processes) never
// interleave or overwrite each other.
class AppendFile {
 public:
#ifdef _WIN32
  // Append-only access makes every write land at the current end of file as
  // a unit; the C runtime's _O_APPEND seeks first and can lose records when
  // several handles append at once. Other handles may keep the file open.
  explicit AppendFile(const char *name)
      : m_handle(CreateFileA(
            name, FILE_APPEND_DATA,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~AppendFile() {
    if (isOpen()) CloseHandle(m_handle);
  }
  bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

  // Text mode: every line feed, the record's own and any in the message,
  // reaches the file as CR LF.
  void write(const std::string &record) {
    std::string text;
    text.reserve(record.size() + 8);
    for (char c : record) {
      if (c == '\n') text += '\r';
      text += c;
    }
    DWORD written = 0;
    WriteFile(m_handle, text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
  }

 private:
  HANDLE m_handle;
#else
  explicit AppendFile(const char *name)
      : m_fd(::open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666)) {}
  ~AppendFile() {
    if (isOpen()) ::close(m_fd);
  }
  bool isOpen() const { return m_fd >= 0; }

  void write(const std::string &record) {
    ssize_t written = ::write(m_fd, record.data(), record.size());
    (void)written;  // a failed write is ignored, like a failed close
  }

 private:
  int m_fd;
#endif

 public:
  AppendFile(const AppendFile &) = delete;
  AppendFile &operator=(const AppendFile &) = delete;
};

}  // namespace

void writeLog(const char *message, size_t length) noexcept {
  try {
#ifdef _WIN32
    // Appends through separate handles of one process were seen to lose
    // records under load (Wine); writers of this process take turns. The
    // mutex is never destroyed: SDK threads may still log during exit.
    static std::mutex &turns = *new std::mutex;
    std::lock_guard<std::mutex> turn(turns);
#endif
    if (message == nullptr) length = 0;
    AppendFile file("log.txt");
    if (!file.isOpen()) {
      std::cerr << "无法打开日志文件" << std::endl;
      return;
    }
    // One write of the whole record: in append mode it lands at the end as a
    // unit, so records of concurrent callers do not interleave.
    std::string record;
    record.reserve(32 + length);
    appendLocalTimeStamp(record);
    record += " - ";
    record.append(message == nullptr ? "" : message, length);
    record += '\n';
    file.write(record);
  } catch (...) {
    // Callers include SDK threads, where an exception would end the process;
    // a lost record is the lesser harm.
  }
}

void writeLog(const char *message) noexcept {
  writeLog(message, message == nullptr ? 0 : std::strlen(message));
}

}  // namespace VarnNode
