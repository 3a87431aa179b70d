#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "diagnostics/code_page.h"
#include "diagnostics/console.h"
#include "diagnostics/log_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using VarnNode::consolePrint;
using VarnNode::utf8ToAnsi;
using VarnNode::writeLog;

namespace {

const std::string kFffd = "\xEF\xBF\xBD";  // U+FFFD in UTF-8.
const char kCannotOpen[] = "无法打开日志文件";

#ifndef _WIN32
// Sets (or, with null, removes) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value) : m_name(name) {
    const char *old = std::getenv(name);
    if (old != nullptr) m_old = old;
    set(value);
  }
  ~ScopedEnv() { set(m_old ? m_old->c_str() : nullptr); }

 private:
  void set(const char *value) {
    value ? setenv(m_name.c_str(), value, 1) : unsetenv(m_name.c_str());
  }
  std::string m_name;
  std::optional<std::string> m_old;
};
#endif

// ---------------------------------------------------------------- console

TEST(DiagConsole, PrintsFormattedBytesUnchangedAndReturnsCount) {
  testing::internal::CaptureStdout();
  const int count = consolePrint("【%s】%d%%", "预激活", 42);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "【预激活】42%");  // Nothing added, not even a newline.
  EXPECT_EQ(count, static_cast<int>(out.size()));
}

TEST(DiagConsole, NullFormatPrintsNothing) {
  const char *volatile format = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_LT(consolePrint(format, 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---------------------------------------------------------------- code page

TEST(DiagCodePage, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(utf8ToAnsi(nullptr), "");
  EXPECT_EQ(utf8ToAnsi(""), "");
}

#ifndef _WIN32
struct ConversionCase {
  const char *name;
  const char *charset;  // VARN_ANSI_CODEPAGE; null leaves it unset.
  std::string input;
  std::string expected;
};

TEST(DiagCodePage, ConvertsPerCharsetAndReplacesIllFormedInput) {
  const std::string fffd3 = kFffd + kFffd + kFffd;
  const std::string fffd4 = fffd3 + kFffd;
  const ConversionCase cases[] = {
      {"ascii unset", nullptr, "C:/keys/a b.dat", "C:/keys/a b.dat"},
      {"chinese unset", nullptr, "密钥/文件", "密钥/文件"},
      {"chinese empty var", "", "密钥/文件", "密钥/文件"},
      {"highest scalar", nullptr, "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"fffd itself", nullptr, kFffd, kFffd},
      {"stray continuation", nullptr, "a\x80z", "a" + kFffd + "z"},
      {"invalid lead", nullptr, "a\xFFz", "a" + kFffd + "z"},
      {"surrogate", nullptr, "\xED\xA0\x80", fffd3},
      {"overlong 2", nullptr, "\xC0\xAF", kFffd + kFffd},
      {"overlong 3", nullptr, "\xE0\x80\xAF", fffd3},
      {"overlong 4", nullptr, "\xF0\x80\x80\xAF", fffd4},
      {"above max", nullptr, "\xF4\x90\x80\x80", fffd4},
      {"truncated at end", nullptr, "a\xE4\xB8", "a" + kFffd},
      {"truncated 4 at end", nullptr, "\xF0\x9F\x98", kFffd},
      {"truncated before ascii", nullptr, "\xE4\xB8z", kFffd + "z"},
      {"chinese gbk", "GBK", "密钥/文件", "\xC3\xDC\xD4\xBF/\xCE\xC4\xBC\xFE"},
      {"ill-formed gbk", "GBK", "a\xFF\xE4\xB8z", "a??z"},
      {"fffd gb18030", "GB18030", "\xFF", "\x84\x31\xA4\x37"},
      {"latin cp1252", "CP1252", "café €", "caf\xE9 \x80"},
      {"chinese cp1252", "CP1252", "a/中文.dat", "a/??.dat"},
      {"emoji cp1252", "CP1252", "a😀b", "a?b"},
      {"surrogate cp1252", "CP1252", "\xED\xA0\x80", "???"},
      {"unknown charset", "NO-SUCH-CHARSET", "密\xFF", "密" + kFffd},
  };
  for (const ConversionCase &c : cases) {
    ScopedEnv env("VARN_ANSI_CODEPAGE", c.charset);
    EXPECT_EQ(utf8ToAnsi(c.input.c_str()), c.expected) << c.name;
  }
}
#else
TEST(DiagCodePage, ConvertsToSystemAnsiCodePage) {
  EXPECT_EQ(utf8ToAnsi("C:\\keys\\a b.dat"), "C:\\keys\\a b.dat");
  const UINT acp = GetACP();
  if (acp == 936) {
    EXPECT_EQ(utf8ToAnsi("密钥\\文件"), "\xC3\xDC\xD4\xBF\\\xCE\xC4\xBC\xFE");
  } else if (acp == 1252) {
    EXPECT_EQ(utf8ToAnsi("café\\中文"), "caf\xE9\\??");
  } else {
    GTEST_SKIP() << "no expectations for code page " << acp;
  }
}
#endif

// ---------------------------------------------------------------- log file

const std::regex kStamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
const std::size_t kStampLength = 19;

// What text mode makes of `text` on this platform.
std::string textMode(const std::string &text) {
#ifdef _WIN32
  std::string out;
  for (char ch : text)
    out += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  return out;
#else
  return text;
#endif
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string localStampNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[80];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Runs each test in a fresh temporary directory that is the current one.
class DiagLogFile : public testing::Test {
 protected:
  void SetUp() override {
    m_previous = fs::current_path();
    std::random_device random;
    do {
      m_dir =
          fs::temp_directory_path() / ("varn-diag-" + std::to_string(random()));
    } while (!fs::create_directory(m_dir));
    fs::current_path(m_dir);
  }
  void TearDown() override {
    fs::current_path(m_previous);
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  // The file holds one record; returns what follows its time stamp.
  static std::string singleRecordBody(const std::string &content) {
    if (content.size() < kStampLength) return "<short: " + content + ">";
    EXPECT_TRUE(std::regex_match(content.substr(0, kStampLength), kStamp))
        << content;
    return content.substr(kStampLength);
  }

  fs::path m_dir, m_previous;
};

TEST_F(DiagLogFile, WritesMessageBytesUnchangedInTextMode) {
  const struct {
    const char *name;
    void (*write)();
    std::string body;  // After the stamp, before text mode.
  } cases[] = {
      {"empty", [] { writeLog(""); }, " - \n"},
      {"utf8 kept", [] { writeLog("密钥 ok"); }, " - 密钥 ok\n"},
      {"trailing lf", [] { writeLog("x\n"); }, " - x\n\n"},
      {"embedded lf", [] { writeLog("a\nb"); }, " - a\nb\n"},
      {"crlf", [] { writeLog("a\r\nb"); }, " - a\r\nb\n"},
      {"length", [] { writeLog("abcdef", 3); }, " - abc\n"},
      {"nul in length", [] { writeLog("a\0b", 3); }, {" - a\0b\n", 7}},
      {"text to nul", [] { writeLog("ab\0cd"); }, " - ab\n"},
      {"null text", [] { writeLog(nullptr); }, " - \n"},
      {"null with length", [] { writeLog(nullptr, 5); }, " - \n"},
  };
  for (const auto &c : cases) {
    fs::remove("log.txt");
    c.write();
    EXPECT_EQ(singleRecordBody(readFile("log.txt")), textMode(c.body))
        << c.name;
  }
}

TEST_F(DiagLogFile, StampIsLocalTime) {
  std::string before, stamp, after;
  {
#ifndef _WIN32
    // Far from UTC, so that a UTC stamp would not pass.
    ScopedEnv tz("TZ", "XST-8");
    tzset();
#endif
    before = localStampNow();
    writeLog("t");
    after = localStampNow();
    stamp = readFile("log.txt").substr(0, kStampLength);
  }
#ifndef _WIN32
  tzset();
#endif
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp, after);
}

TEST_F(DiagLogFile, AppendsAndRecreatesTheFile) {
  { std::ofstream("log.txt", std::ios::binary) << "old\n"; }
  writeLog("first");
  writeLog("second");
  const std::regex appended("old\n" + textMode(R"(\S+ \S+ - first\n)") +
                            textMode(R"(\S+ \S+ - second\n)"));
  EXPECT_TRUE(std::regex_match(readFile("log.txt"), appended));

  fs::remove("log.txt");
  writeLog("third");
  EXPECT_EQ(singleRecordBody(readFile("log.txt")), textMode(" - third\n"));
}

TEST_F(DiagLogFile, FollowsTheCurrentDirectory) {
  writeLog("in parent");
  fs::create_directory("sub");
  fs::current_path("sub");
  writeLog("in sub");
  EXPECT_EQ(singleRecordBody(readFile(m_dir / "log.txt")),
            textMode(" - in parent\n"));
  EXPECT_EQ(singleRecordBody(readFile(m_dir / "sub" / "log.txt")),
            textMode(" - in sub\n"));
}

TEST_F(DiagLogFile, UnopenableFileReportsOnStderrAndDropsRecord) {
  fs::create_directory("log.txt");
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(writeLog("lost"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.substr(0, std::strlen(kCannotOpen)), kCannotOpen);
  EXPECT_EQ(err.substr(std::strlen(kCannotOpen)), "\n");
  EXPECT_TRUE(fs::is_directory("log.txt"));
}

TEST_F(DiagLogFile, ConcurrentWritersProduceWholeLines) {
  constexpr int kThreads = 8, kRecords = 100;
  // Some records exceed a stream buffer, so they cannot be one buffered write.
  const auto fill = [](int r) { return r % 10 == 0 ? 20000 : 40 + r; };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &fill] {
      for (int r = 0; r < kRecords; ++r) {
        const std::string message = "T" + std::to_string(t) + " R" +
                                    std::to_string(r) + " " +
                                    std::string(fill(r), 'x');
        writeLog(message.c_str());
      }
    });
  }
  for (std::thread &thread : threads) thread.join();

  std::istringstream lines(readFile("log.txt"));
  const std::regex record(R"(\S+ \S+ - T(\d+) R(\d+) (x*)\r?)");
  std::set<std::pair<int, int>> seen;
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, record)) << line.substr(0, 80);
    const int r = std::stoi(m[2]);
    EXPECT_EQ(m[3].length(), fill(r));
    EXPECT_TRUE(seen.emplace(std::stoi(m[1]), r).second);
  }
  EXPECT_EQ(seen.size(), std::size_t{kThreads * kRecords});
}

}  // namespace
