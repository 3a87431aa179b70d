#include "diagnostics/log_file.h"

#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>

namespace VarnNode {
namespace {

// Local time as "%Y-%m-%d %H:%M:%S"; empty if the clock cannot be converted.
std::string localTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  const bool converted = localtime_s(&local, &now) == 0;
#else
  const bool converted = localtime_r(&now, &local) != nullptr;
#endif
  char text[80];
  if (!converted ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
    return std::string();
  }
  return std::string(text);
}

}  // namespace

void writeLog(const char *message, size_t length) noexcept {
  try {
    if (message == nullptr) length = 0;
    // The default protection of both MSVC's and MinGW's file streams is
    // "deny none", so other handles may keep the file open meanwhile.
    std::ofstream file("log.txt", std::ios::out | std::ios::app);
    if (!file.is_open()) {
      std::cerr << "无法打开日志文件" << std::endl;
      return;
    }
    // One write of the whole record: in append mode it lands at the end as a
    // unit, so records of concurrent callers do not interleave.
    std::string record = localTimeStamp();
    record += " - ";
    record.append(message == nullptr ? "" : message, length);
    record += '\n';
    file.write(record.data(), static_cast<std::streamsize>(record.size()));
    file.flush();
    file.close();
  } catch (...) {
    // Callers include SDK threads, where an exception would end the process;
    // a lost record is the lesser harm.
  }
}

void writeLog(const char *message) noexcept {
  writeLog(message, message == nullptr ? 0 : std::strlen(message));
}

}  // namespace VarnNode
