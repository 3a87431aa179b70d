#include "diagnostics/log_file.h"

#include <fcntl.h>

#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <sys/stat.h>
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

// The file as one low-level descriptor, opened for appending: no stream
// buffer or locale to set up for a single write.
class AppendFile {
 public:
  explicit AppendFile(const char *name) {
#ifdef _WIN32
    // Text mode: the C runtime writes every line feed as CR LF. _SH_DENYNO
    // lets other handles keep the file open meanwhile.
    _sopen_s(&m_fd, name, _O_WRONLY | _O_APPEND | _O_CREAT | _O_TEXT,
             _SH_DENYNO, _S_IREAD | _S_IWRITE);
#else
    m_fd = ::open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
#endif
  }
  ~AppendFile() {
    if (m_fd < 0) return;
#ifdef _WIN32
    _close(m_fd);
#else
    ::close(m_fd);
#endif
  }
  AppendFile(const AppendFile &) = delete;
  AppendFile &operator=(const AppendFile &) = delete;

  bool isOpen() const { return m_fd >= 0; }

  // One write call for the whole record; failures are ignored.
  void write(const std::string &record) {
#ifdef _WIN32
    _write(m_fd, record.data(), static_cast<unsigned int>(record.size()));
#else
    ssize_t written = ::write(m_fd, record.data(), record.size());
    (void)written;
#endif
  }

 private:
  int m_fd = -1;
};

}  // namespace

void writeLog(const char *message, size_t length) noexcept {
  try {
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
