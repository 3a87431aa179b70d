#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/code_page.h"
#include "diagnostics/log_file.h"

namespace fs = std::filesystem;
using VarnNode::utf8ToAnsi;
using VarnNode::writeLog;

namespace {

TEST(DiagCodePage, ConvertsPerCharsetAndReplacesIllFormedInput) {
  EXPECT_EQ(utf8ToAnsi(nullptr), "");
  EXPECT_EQ(utf8ToAnsi(""), "");
  // On Windows the system code page applies: test/windows/codepage.test.js.
#ifndef _WIN32
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const struct {
    const char *charset;  // VARN_ANSI_CODEPAGE; null leaves it unset.
    std::string input, expected;
  } cases[] = {
      {nullptr, "密钥/文件", "密钥/文件"},
      {"", "密钥/文件", "密钥/文件"},
      {nullptr, "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},  // the highest scalar
      {nullptr, "a\x80z", "a" + r + "z"},                 // stray continuation
      {nullptr, "\xED\xA0\x80", r + r + r},               // surrogate
      {nullptr, "\xF0\x80\x80\xAF", r + r + r + r},       // overlong
      {nullptr, "\xF4\x90\x80\x80", r + r + r + r},       // above U+10FFFF
      {nullptr, "a\xE4\xB8", "a" + r},  // truncated at the end
      {nullptr, "\xE4\xB8z", r + "z"},  // truncated before ASCII
      {"GBK", "密钥/文件", "\xC3\xDC\xD4\xBF/\xCE\xC4\xBC\xFE"},
      {"GBK", "a\xFF\xE4\xB8z", "a??z"},
      {"GB18030", "\xFF", "\x84\x31\xA4\x37"},  // U+FFFD itself
      {"CP1252", "café €", "caf\xE9 \x80"},
      {"CP1252", "a/中文😀.dat", "a/???.dat"},
      {"NO-SUCH-CHARSET", "密\xFF", "密" + r},
  };
  for (const auto &c : cases) {
    c.charset ? setenv("VARN_ANSI_CODEPAGE", c.charset, 1)
              : unsetenv("VARN_ANSI_CODEPAGE");
    EXPECT_EQ(utf8ToAnsi(c.input.c_str()), c.expected) << c.input;
  }
  unsetenv("VARN_ANSI_CODEPAGE");
#endif
}

// A record: its time stamp, then the rest. That the stamp is local time is
// checked through the add-on, in test/js/settings.test.js.
const std::regex kRecord(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d([\s\S]*))");

// What text mode makes of `text` on this platform.
std::string textMode(const std::string &text) {
#ifdef _WIN32
  return std::regex_replace(text, std::regex("\n"), "\r\n");
#else
  return text;
#endif
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The file holds one record; returns what follows the stamp.
std::string recordBody(const fs::path &file) {
  const std::string content = readFile(file);
  std::smatch m;
  EXPECT_TRUE(std::regex_match(content, m, kRecord)) << content;
  return m[1];
}

// Each test runs in a fresh temporary directory that is the current one.
class DiagLogFile : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::create_directory(m_dir));
    fs::current_path(m_dir);
  }
  void TearDown() override {
    fs::current_path(m_previous);
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  fs::path m_previous = fs::current_path();
  fs::path m_dir = fs::temp_directory_path() /
                   ("varn-diag-" + std::to_string(std::random_device{}()));
};

TEST_F(DiagLogFile, WritesMessageBytesUnchangedInTextMode) {
  const struct {
    void (*write)();
    std::string body;  // After the stamp, before text mode.
  } cases[] = {
      {[] { writeLog(""); }, " - \n"},
      {[] { writeLog("密钥 ok"); }, " - 密钥 ok\n"},
      {[] { writeLog("a\nb\n"); }, " - a\nb\n\n"},
      {[] { writeLog("a\r\nb"); }, " - a\r\nb\n"},
      {[] { writeLog("abcdef", 3); }, " - abc\n"},
      {[] { writeLog("a\0b", 3); }, {" - a\0b\n", 7}},
      {[] { writeLog(nullptr); }, " - \n"},
      {[] { writeLog(nullptr, 5); }, " - \n"},
  };
  for (const auto &c : cases) {
    fs::remove("log.txt");
    c.write();
    EXPECT_EQ(recordBody("log.txt"), textMode(c.body)) << c.body;
  }
}

TEST_F(DiagLogFile, AppendsRecreatesAndFollowsTheCurrentDirectory) {
  { std::ofstream("log.txt", std::ios::binary) << "old\n"; }
  writeLog("first");
  writeLog("second");
  EXPECT_TRUE(std::regex_match(
      readFile("log.txt"),
      std::regex("old\n" +
                 textMode(R"(\S+ \S+ - first\n\S+ \S+ - second\n)"))));
  fs::remove("log.txt");
  writeLog("again");
  fs::create_directory("sub");
  fs::current_path("sub");
  writeLog("in sub");
  EXPECT_EQ(recordBody(m_dir / "log.txt"), textMode(" - again\n"));
  EXPECT_EQ(recordBody(m_dir / "sub" / "log.txt"), textMode(" - in sub\n"));
}

TEST_F(DiagLogFile, UnopenableFileReportsOnStderrAndDropsRecord) {
  fs::create_directory("log.txt");
  testing::internal::CaptureStderr();
  writeLog("lost");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "无法打开日志文件\n");
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
        const std::string id =
            "T" + std::to_string(t) + " R" + std::to_string(r);
        writeLog((id + " " + std::string(fill(r), 'x')).c_str());
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  std::istringstream lines(readFile("log.txt"));
  const std::regex record(R"(\S+ \S+ - T(\d+) R(\d+) (x*)\r?)");
  std::set<std::pair<int, int>> seen;
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, record)) << line.substr(0, 80);
    EXPECT_EQ(m[3].length(), fill(std::stoi(m[2])));
    EXPECT_TRUE(seen.emplace(std::stoi(m[1]), std::stoi(m[2])).second);
  }
  EXPECT_EQ(seen.size(), std::size_t{kThreads * kRecords});
}

}  // namespace
