// The stand-in libqcf called directly: what the add-on's tests rely on when
// they read its record of calls and script its answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "errors.h"
#include "qcf.h"
#include "qcf_control.h"

using namespace qcf_standin;

namespace {

struct Handled {
  int kind;  // 0 log, 1 exception
  int value;
  std::string message;
  bool isNull;
  uint64_t thread;
};
std::mutex handledMutex;
std::vector<Handled> handled;

void Capture(int kind, int value, const char* message) {
  std::lock_guard<std::mutex> lock(handledMutex);
  handled.push_back(
      {kind, value, message ? message : "", !message, qcfctl_thread_id()});
}

// A recorded argument: its kind, bytes and number.
struct Arg {
  int kind;
  std::string text;
  double number;
};
Arg ArgOf(size_t call, size_t arg) {
  const unsigned char* data = nullptr;
  size_t size = 0;
  double number = 0;
  const int kind = qcfctl_call_arg(call, arg, &data, &size, &number);
  return {kind,
          std::string(reinterpret_cast<const char*>(data), data ? size : 0),
          number};
}

// Scripts the next `times` calls of `name` with what `body` adds.
void Script(const char* name, int times, const std::function<void()>& body) {
  qcfctl_script_begin(name, times);
  body();
  qcfctl_script_end();
}
void ScriptCode(const char* name, int times, int code) {
  Script(name, times, [&] { qcfctl_script_code(code); });
}
void ScriptBytes(const char* name, const std::string& bytes) {
  Script(name, 1, [&] { qcfctl_script_bytes(bytes.data(), bytes.size(), 0); });
}

// An output with guard bytes after it.
template <typename T>
struct Guarded {
  T value;
  unsigned char after[8];
};

class Standin : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("standin-test-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir_);
    qcfctl_reset(QCFCTL_RESET_DROP_HANDLERS);
    handled.clear();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Pre-activation, a key file in the test's directory, QCF_Init, a login.
  char* LogIn() {
    EXPECT_EQ(QCF_PreActivate(), kOk);
    EXPECT_EQ(QCF_SetKeyFilePath((dir_ / "keys.store").string().c_str()), kOk);
    QCF_ServerInfo server{};
    std::strcpy(server.host, "keys.local");
    server.port = 18000;
    QCF_UserInfo user{};
    QCF_CspInfo csp{};
    EXPECT_EQ(QCF_Init(&server, &user, &csp), kOk);
    char* token = nullptr;
    uint32_t valid = 0;
    EXPECT_EQ(QCF_Auth(&token, &valid), kOk);
    return token;
  }

  std::filesystem::path dir_;
};

TEST_F(Standin, RecordsArgumentsInOrderOnTheCallingThreadWithRecordsWhole) {
  QCF_FillKeyItem item;
  std::memset(&item, 0x5a, sizeof item);
  uint32_t flag = 7;
  int32_t cell = -1;
  char groupId[64] = "in";
  QCF_Custom("\xe9\x94\xae", nullptr);
  QCF_FillKey_WithPubkey("host", 4294967295u, 2, "", &item, &flag);
  QCF_CreateGroup("g", 1, &cell, "t", groupId);
  QCF_ExportKey(nullptr, nullptr, nullptr);
  ASSERT_EQ(qcfctl_call_count(), 4u);
  const char* names[] = {"QCF_Custom", "QCF_FillKey_WithPubkey",
                         "QCF_CreateGroup", "QCF_ExportKey"};
  for (size_t call = 0; call < 4; ++call) {
    EXPECT_STREQ(qcfctl_call_name(call), names[call]);
    EXPECT_EQ(qcfctl_call_thread(call), qcfctl_thread_id());
  }
  EXPECT_EQ(ArgOf(0, 0).text, "\xe9\x94\xae");
  EXPECT_EQ(ArgOf(0, 1).kind, QCFCTL_ARG_NULL);
  EXPECT_EQ(ArgOf(1, 1).number, 4294967295.0);
  EXPECT_EQ(ArgOf(1, 4).text, std::string(sizeof item, '\x5a'));
  EXPECT_EQ(ArgOf(1, 5).number, 7);
  EXPECT_EQ(ArgOf(2, 2).number, -1);
  const Arg group = ArgOf(2, 4), handle = ArgOf(3, 0);
  EXPECT_EQ(std::make_pair(group.kind, group.text.size()),
            std::make_pair(int{QCFCTL_ARG_BYTES}, size_t{64}));
  EXPECT_EQ(std::make_pair(handle.kind, handle.number),
            std::make_pair(int{QCFCTL_ARG_HANDLE}, 0.0));
}

TEST_F(Standin, ScriptsQueuePerFunctionAndAnswerInTheSimulatorsPlace) {
  ScriptCode("QCF_Finish", 2, 5);
  ScriptCode("QCF_Finish", 1, -7);
  ScriptCode("QCF_PreActivate", -1, static_cast<int>(0x80000001u));
  const std::vector<int> finishes = {QCF_Finish(), QCF_Finish(), QCF_Finish(),
                                     QCF_Finish()};
  EXPECT_EQ(finishes, (std::vector<int>{5, 5, -7, kNotInitialised}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(QCF_PreActivate(), -0x7fffffff);
  // A scripted code changes nothing: the session is still not activated.
  QCF_ServerInfo server{};
  QCF_UserInfo user{};
  QCF_CspInfo csp{};
  EXPECT_EQ(QCF_Init(&server, &user, &csp), kNotActivated);
  EXPECT_EQ(qcfctl_is_function("QCF_Nope"), 0);
  EXPECT_STREQ(qcfctl_function_name(0), "QCF_PreActivate");
  EXPECT_EQ(qcfctl_function_name(18), nullptr);
}

TEST_F(Standin, ScriptedOutputsOverrideTheSimulatorNeverPastTheirBuffers) {
  char* token = LogIn();
  // A scripted token becomes the session's own.
  ScriptBytes("QCF_Auth", "scripted-token");
  char* scripted = nullptr;
  uint32_t valid = 0;
  ASSERT_EQ(QCF_Auth(&scripted, &valid), kOk);
  EXPECT_EQ(std::make_pair(std::string(scripted), valid),
            std::make_pair(std::string("scripted-token"), 3600u));
  EXPECT_EQ(QCF_ReFillKey(token, 1, 32), kTokenInvalid);
  EXPECT_EQ(QCF_ReFillKey("scripted-token", 1, 32), kOk);

  Guarded<QCF_SpmKeyInfo> spm{};
  QCF_SpmKeyQuery query{};
  ScriptBytes("QCF_GetSPMKeyInfo", std::string(500, 'B'));
  EXPECT_EQ(QCF_GetSPMKeyInfo(&query, &spm.value), kOk);
  EXPECT_EQ(spm.value.keyTag[0], 'B');
  EXPECT_EQ(spm.after[0], 0);

  Guarded<char[64]> group{};
  Script("QCF_CreateGroup", 1, [] {
    qcfctl_script_bytes(std::string(70, 'x').data(), 70, 0);
    qcfctl_script_code(4);
  });
  EXPECT_EQ(QCF_CreateGroup("a", 1, nullptr, "b", group.value), 4);
  EXPECT_EQ(std::string(group.value, 64), std::string(64, 'x'));
  EXPECT_EQ(group.after[0], 0);

  Guarded<unsigned char[256]> key{};
  int32_t keyLen = 0;
  Script("QCF_ExportKey", 1, [] {
    qcfctl_script_bytes(std::string(300, '\xab').data(), 300, 0);
    qcfctl_script_number(300);
  });
  EXPECT_EQ(QCF_ExportKey(nullptr, &keyLen, key.value), kOk);
  EXPECT_EQ(std::vector<int>({keyLen, key.value[255], key.after[0]}),
            std::vector<int>({300, 0xab, 0}));

  void* handle = &key;
  Script("QCF_ApplyKeyWithGroupID", 1, [] { qcfctl_script_null_handle(); });
  EXPECT_EQ(QCF_ApplyKeyWithGroupID("no", "group", &handle), kOk);
  EXPECT_EQ(handle, nullptr);

  ScriptBytes("QCF_ErrMessage", "\xe5\xa4\xb1");
  Script("QCF_ErrMessage", 1, [] { qcfctl_script_bytes(nullptr, 0, 1); });
  EXPECT_STREQ(QCF_ErrMessage(1), "\xe5\xa4\xb1");
  EXPECT_EQ(QCF_ErrMessage(1), nullptr);
  EXPECT_STREQ(QCF_ErrMessage(1), qcfctl_error_text(1));
}

TEST_F(Standin, NullPointersAreRefusedEvenWhenOutputsAreScripted) {
  LogIn();
  QCF_ServerInfo server{};
  QCF_UserInfo user{};
  QCF_SpmKeyQuery query{};
  uint32_t valid = 0;
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"QCF_Custom", [] { return QCF_Custom("k", nullptr); }},
      {"QCF_SetKeyFilePath", [] { return QCF_SetKeyFilePath(nullptr); }},
      {"QCF_Init", [&] { return QCF_Init(&server, nullptr, nullptr); }},
      {"QCF_Auth", [&] { return QCF_Auth(nullptr, &valid); }},
      {"QCF_Auth_pubkey_WithInfo",
       [&] {
         return QCF_Auth_pubkey_WithInfo(nullptr, &user, nullptr, &valid);
       }},
      {"QCF_GetSPMKeyInfo", [&] { return QCF_GetSPMKeyInfo(&query, nullptr); }},
      {"QCF_CreateGroup",
       [] { return QCF_CreateGroup("a", 1, nullptr, "b", nullptr); }},
      {"QCF_ApplyKeyWithGroupID",
       [] { return QCF_ApplyKeyWithGroupID("a", "b", nullptr); }},
      {"QCF_ExportKey",
       [] { return QCF_ExportKey(nullptr, nullptr, nullptr); }},
      {"QCF_ReportSPMWithSignPubkey",
       [] { return QCF_ReportSPMWithSignPubkey(nullptr, "b", 1); }},
  };
  for (const auto& [name, call] : calls) {
    Script(name, 1, [] {
      qcfctl_script_bytes("x", 1, 0);
      qcfctl_script_number(1);
    });
    EXPECT_EQ(call(), kInvalidArgument) << name;
  }
}

TEST_F(Standin, HandlerCallsInOrderOnTheCallingOrAnOwnThread) {
  QCF_SetLogHandler([](const char* message) { Capture(0, 0, message); });
  QCF_SetExceptionHandler(
      [](int value, const char* message) { Capture(1, value, message); });
  handled.clear();
  Script("QCF_PreActivate", 1, [] {
    qcfctl_script_emit(0, 0, "first", 0);
    qcfctl_script_emit(1, 42, "second", 1);
    qcfctl_script_emit(0, 0, nullptr, 0);
  });
  QCF_PreActivate();
  ASSERT_EQ(handled.size(), 4u);
  EXPECT_EQ(handled[0].message, "first");
  EXPECT_EQ(std::make_pair(handled[1].kind, handled[1].value),
            std::make_pair(1, 42));
  EXPECT_NE(handled[1].thread, qcfctl_thread_id());
  EXPECT_TRUE(handled[2].isNull);
  EXPECT_EQ(handled[3].message, "QCF_PreActivate: ok (pre-activated)");

  handled.clear();
  qcfctl_emit_async(0, 0, "m", 3, 4, 1);
  std::set<uint64_t> threads;
  for (const Handled& h : handled) threads.insert(h.thread);
  EXPECT_EQ(handled.size(), 12u);
  EXPECT_EQ(threads.size(), 3u);
  EXPECT_EQ(threads.count(qcfctl_thread_id()), 0u);

  // Without waiting, joinThreads waits; without a handler nothing arrives.
  QCF_SetLogHandler(nullptr);
  handled.clear();
  qcfctl_emit_async(1, 3, "x", 2, 1, 0);
  qcfctl_emit_async(0, 0, "dropped", 2, 1, 0);
  qcfctl_join_threads();
  EXPECT_EQ(handled.size(), 2u);
  for (const Handled& h : handled) EXPECT_EQ(h.kind, 1);
}

TEST_F(Standin, EveryCodeHasATextOfItsOwn) {
  // The stand-in's codes: 25 of 0x0A000001 to 0x0A0000FF (errors.h).
  std::set<std::string> texts;
  for (int code = kInvalidArgument; code <= kInternalError; ++code) {
    const std::string text = QCF_ErrMessage(code);
    EXPECT_EQ(text, qcfctl_error_text(code));
    if (text != "unknown error code " + std::to_string(code))
      texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 25u);
  EXPECT_STREQ(QCF_ErrMessage(-3), "unknown error code -3");
}

TEST_F(Standin, ALoginTakesOnlyTheCurrentTokenAndUnterminatedRecordsWhole) {
  char* first = LogIn();
  char* second = nullptr;
  uint32_t valid = 0;
  ASSERT_EQ(QCF_Auth(&second, &valid), kOk);
  EXPECT_EQ(QCF_ReFillKey(first, 1, 32), kTokenInvalid);
  EXPECT_EQ(QCF_ReFillKey(nullptr, 1, 32), kNotLoggedIn);
  EXPECT_EQ(QCF_ReFillKey(second, 1, 32), kOk);

  // A host filling its 32 bytes, PINs filling their 9 or 16: wrong PINs.
  QCF_FillKeyItem item;
  std::memset(&item, 'A', sizeof item);
  uint32_t flag = 0;
  EXPECT_EQ(QCF_FillKey_WithPubkey("a", 1, 1, "h", &item, &flag), kWrongPin);
  QCF_Custom("useInputCspInfo", "true");
  QCF_ServerInfo server;
  QCF_UserInfo user;
  QCF_CspInfo csp;
  std::memset(&server, 'A', sizeof server);
  std::memset(&user, 'A', sizeof user);
  std::memset(&csp, 'A', sizeof csp);
  EXPECT_EQ(QCF_Init(&server, &user, &csp), kWrongPin);
  void* handle = nullptr;
  EXPECT_EQ(QCF_ApplyKeyWithGroupID(nullptr, nullptr, &handle), kUnknownGroup);
}

double MillisecondsOf(const std::function<void()>& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now() - start)
      .count();
}

TEST_F(Standin, ASlowSdkDelaysOnlyKeyServerAndSessionCallsSideBySide) {
  constexpr uint32_t kDelay = 60;
  qcfctl_set_delay(kDelay);
  EXPECT_GE(MillisecondsOf([] { QCF_Finish(); }), kDelay);
  EXPECT_GE(MillisecondsOf([] { QCF_ReFillKey(nullptr, 1, 1); }), kDelay);
  EXPECT_LT(MillisecondsOf([] { QCF_Custom("k", "v"); }), kDelay);
  EXPECT_LT(MillisecondsOf([] { QCF_ErrMessage(1); }), kDelay);
  // Two threads wait side by side, not one behind the other.
  qcfctl_set_delay(300);
  const double both = MillisecondsOf([] {
    std::thread other([] { QCF_Finish(); });
    QCF_Finish();
    other.join();
  });
  EXPECT_LT(both, 600);
  qcfctl_reset(0);
  EXPECT_LT(MillisecondsOf([] { QCF_Finish(); }), kDelay);
}

}  // namespace
