// The stand-in libqcf called directly: what the add-on's JavaScript tests do
// not reach through it (null pointers, buffer bounds, token checks, records
// without a NUL, code texts, concurrent delays, queued scripts, no handler).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "errors.h"
#include "qcf.h"
#include "qcf_control.h"

using namespace qcf_standin;
using namespace std::chrono_literals;

namespace {

// Scripts the next `times` calls of `name`: a code, output bytes and an
// output number, each when given.
void Script(const char* name, int times, int code,
            const std::string& bytes = "", int64_t number = 0) {
  qcfctl_script_begin(name, times);
  if (code) qcfctl_script_code(code);
  if (!bytes.empty()) qcfctl_script_bytes(bytes.data(), bytes.size(), 0);
  if (number) qcfctl_script_number(number);
  qcfctl_script_end();
}

class Standin : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("standin-test-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir_);
    qcfctl_reset(QCFCTL_RESET_DROP_HANDLERS);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Pre-activation, a key file in the test's directory, QCF_Init, a login.
  char* LogIn() {
    EXPECT_EQ(QCF_PreActivate(), kOk);
    EXPECT_EQ(QCF_SetKeyFilePath((dir_ / "keys.store").string().c_str()), kOk);
    QCF_ServerInfo server{{}, "keys.local", 18000, {}};
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

// A call's name, the code it answers and the call, for the table below.
using Call = std::tuple<const char*, int, std::function<int()>>;
#define CALL(code, f, ...) Call(#f, code, [&] { return f(__VA_ARGS__); })

TEST_F(Standin, ScriptedOutputsNeverGoToNullPointersOrPastTheirBuffers) {
  LogIn();
  QCF_ServerInfo server{};
  QCF_UserInfo user{};
  QCF_SpmKeyQuery query{};
  uint32_t valid = 0;
  // Output buffers, each with a byte more that must stay 0.
  constexpr size_t kSpm = sizeof(QCF_SpmKeyInfo);
  alignas(QCF_SpmKeyInfo) unsigned char spm[kSpm + 1] = {};
  char group[65] = {};
  unsigned char key[257] = {};
  int32_t keyLen = 0;
  constexpr int kNull = kInvalidArgument;
  const std::vector<Call> calls = {
      CALL(kNull, QCF_Custom, "k", nullptr),
      CALL(kNull, QCF_SetKeyFilePath, nullptr),
      CALL(kNull, QCF_Init, &server, nullptr, nullptr),
      CALL(kNull, QCF_Auth, nullptr, &valid),
      CALL(kNull, QCF_Auth_pubkey_WithInfo, nullptr, &user, nullptr, &valid),
      CALL(kNull, QCF_GetSPMKeyInfo, &query, nullptr),
      CALL(kNull, QCF_CreateGroup, "a", 1, nullptr, "b", nullptr),
      CALL(kNull, QCF_ApplyKeyWithGroupID, "a", "b", nullptr),
      CALL(kNull, QCF_ExportKey, nullptr, nullptr, nullptr),
      CALL(kNull, QCF_ReportSPMWithSignPubkey, nullptr, "b", 1),
      CALL(kOk, QCF_GetSPMKeyInfo, &query,
           reinterpret_cast<QCF_SpmKeyInfo*>(spm)),
      CALL(kOk, QCF_CreateGroup, "a", 1, nullptr, "b", group),
      CALL(kOk, QCF_ExportKey, nullptr, &keyLen, key),
  };
  for (const auto& [name, code, call] : calls) {
    Script(name, 1, 0, std::string(500, 'x'), 1);
    EXPECT_EQ(call(), code) << name;
    EXPECT_STREQ(qcfctl_call_name(qcfctl_call_count() - 1), name);
  }
  // Scripted outputs fill their buffers, no further; a length is reported as
  // scripted.
  EXPECT_EQ(std::vector<int>({spm[kSpm - 1], spm[kSpm], group[63], group[64],
                              key[255], key[256], keyLen}),
            std::vector<int>({'x', 0, 'x', 0, 'x', 0, 1}));
}

// A new login, scripted or not, ends the old one's token. Records without a
// NUL are read to their ends only.
TEST_F(Standin, ALoginTakesOnlyTheCurrentTokenAndUnterminatedRecordsWhole) {
  char* first = LogIn();
  char *second = nullptr, *scripted = nullptr;
  uint32_t valid = 0;
  ASSERT_EQ(QCF_Auth(&second, &valid), kOk);
  const std::string secondToken = second;
  Script("QCF_Auth", 1, 0, "scripted-token");
  ASSERT_EQ(QCF_Auth(&scripted, &valid), kOk);
  EXPECT_EQ(std::make_pair(std::string(scripted), valid),
            std::make_pair(std::string("scripted-token"), 3600u));
  EXPECT_EQ(QCF_ReFillKey(first, 1, 32), kTokenInvalid);
  EXPECT_EQ(QCF_ReFillKey(secondToken.c_str(), 1, 32), kTokenInvalid);
  EXPECT_EQ(QCF_ReFillKey(nullptr, 1, 32), kNotLoggedIn);
  EXPECT_EQ(QCF_ReFillKey("scripted-token", 1, 32), kOk);

  // A host filling its 32 bytes, PINs filling their 9 or 16: wrong PINs.
  QCF_FillKeyItem item;
  QCF_ServerInfo server;
  QCF_UserInfo user;
  QCF_CspInfo csp;
  const auto fill = [](auto&... records) {
    (std::memset(&records, 'A', sizeof records), ...);
  };
  fill(item, server, user, csp);
  uint32_t flag = 0;
  EXPECT_EQ(QCF_FillKey_WithPubkey("a", 1, 1, "h", &item, &flag), kWrongPin);
  QCF_Custom("useInputCspInfo", "true");
  EXPECT_EQ(QCF_Init(&server, &user, &csp), kWrongPin);
  void* handle = nullptr;
  EXPECT_EQ(QCF_ApplyKeyWithGroupID(nullptr, nullptr, &handle), kUnknownGroup);
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

// No JavaScript test queues two scripts for one function, names an unknown
// one, or leaves a handler uninstalled (the add-on installs both).
std::atomic<int> exceptions{0};
TEST_F(Standin, ScriptsQueueForKnownFunctionsAndNoHandlerMeansNoCall) {
  Script("QCF_Finish", 2, 5);
  Script("QCF_Finish", 1, -7);
  const std::vector<int> finishes = {QCF_Finish(), QCF_Finish(), QCF_Finish(),
                                     QCF_Finish()};
  EXPECT_EQ(finishes, (std::vector<int>{5, 5, -7, kNotInitialised}));
  EXPECT_EQ(qcfctl_is_function("QCF_Nope"), 0);
  EXPECT_STREQ(qcfctl_function_name(0), "QCF_PreActivate");
  EXPECT_EQ(qcfctl_function_name(18), nullptr);

  QCF_SetExceptionHandler([](int, const char*) { ++exceptions; });
  qcfctl_script_begin("QCF_Custom", 1);
  qcfctl_script_emit(0, 0, "dropped", 1);
  qcfctl_script_emit(1, 2, "arrives", 0);
  qcfctl_script_end();
  QCF_Custom("k", "v");  // the simulator's own line is dropped too
  qcfctl_emit_async(0, 0, "dropped", 2, 3, 1);
  qcfctl_emit_async(1, 3, "arrives", 2, 3, 1);
  EXPECT_EQ(exceptions, 7);
}

TEST_F(Standin, DelayedCallsWaitSideBySideAndSettersNotAtAll) {
  const auto millisecondsOf = [](const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return (std::chrono::steady_clock::now() - start) / 1ms;
  };
  qcfctl_set_delay(300);
  const auto both = millisecondsOf([] {
    std::thread other([] { QCF_Finish(); });
    QCF_Finish();
    other.join();
  });
  EXPECT_TRUE(both >= 300 && both < 600) << both << " ms";
  EXPECT_LT(millisecondsOf([] { QCF_Custom("k", "v"); }), 300);
  qcfctl_reset(0);
  EXPECT_LT(millisecondsOf([] { QCF_Finish(); }), 300);
}

}  // namespace
