// The SDK records, byte for byte.
#include "node_ext/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using VarnNode::fieldText;
using VarnNode::hexUpper;
using VarnNode::makeFillKeyItem;
using VarnNode::makeSpmKeyQuery;

template <typename Record>
std::vector<unsigned char> bytesOf(const Record &record) {
  const auto *begin = reinterpret_cast<const unsigned char *>(&record);
  return std::vector<unsigned char>(begin, begin + sizeof record);
}

uint32_t u32At(const std::vector<unsigned char> &bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) |
         static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// The field's bytes up to the first NUL, which must exist in the field.
std::string terminatedAt(const std::vector<unsigned char> &bytes, size_t offset,
                         size_t width) {
  const unsigned char *begin = bytes.data() + offset;
  const void *nul = std::memchr(begin, 0, width);
  EXPECT_NE(nul, nullptr) << "no NUL in field at " << offset;
  if (nul == nullptr) return {};
  return std::string(reinterpret_cast<const char *>(begin),
                     static_cast<const unsigned char *>(nul) - begin);
}

// Every byte from the field's text on (its NUL and the fill) is zero.
void expectZeroAfter(const std::vector<unsigned char> &bytes, size_t offset,
                     size_t width, size_t textLength) {
  for (size_t i = offset + textLength; i < offset + width; ++i) {
    ASSERT_EQ(bytes[i], 0) << "byte " << i;
  }
}

TEST(FillKeyItem, LaysOutEveryFieldWithFixedPinsAndFives) {
  const auto bytes = bytesOf(makeFillKeyItem("app", 0x01020304u, "C:\\k"));
  ASSERT_EQ(bytes.size(), 332u);
  EXPECT_EQ(terminatedAt(bytes, 0, 32), "app");
  expectZeroAfter(bytes, 0, 32, 3);
  EXPECT_EQ(bytes[32], 0x04);  // little-endian
  EXPECT_EQ(u32At(bytes, 32), 0x01020304u);
  EXPECT_EQ(terminatedAt(bytes, 36, 256), "C:\\k");
  expectZeroAfter(bytes, 36, 256, 4);
  for (size_t pin : {292u, 312u}) {
    EXPECT_EQ(terminatedAt(bytes, pin, 16), "40615237") << pin;
    expectZeroAfter(bytes, pin, 16, 8);
  }
  EXPECT_EQ(u32At(bytes, 308), 5u);
  EXPECT_EQ(u32At(bytes, 328), 5u);
}

TEST(FillKeyItem, CutsTextsAtTheirFieldsByBytes) {
  struct Case {
    size_t appLength, pathLength, appKept, pathKept;
  };
  for (const Case &c : {Case{31, 255, 31, 255}, Case{32, 256, 31, 255},
                        Case{40, 1000, 31, 255}, Case{0, 0, 0, 0}}) {
    const std::string app(c.appLength, 'a');
    const std::string path(c.pathLength, 'p');
    const auto bytes = bytesOf(makeFillKeyItem(app, 7, path));
    EXPECT_EQ(terminatedAt(bytes, 0, 32), app.substr(0, c.appKept));
    EXPECT_EQ(terminatedAt(bytes, 36, 256), path.substr(0, c.pathKept));
    // Neither text spills into its neighbour.
    EXPECT_EQ(u32At(bytes, 32), 7u);
    EXPECT_EQ(terminatedAt(bytes, 292, 16), "40615237");
  }
  // A cut may split a multi-byte character: bytes count, not characters.
  const std::string app = std::string(30, 'a') + "\xE4\xB8\xAD";
  EXPECT_EQ(terminatedAt(bytesOf(makeFillKeyItem(app, 0, "")), 0, 32),
            std::string(30, 'a') + "\xE4");
}

TEST(SpmKeyQuery, CopiesBothTextsIntoZeroedFields) {
  const auto bytes = bytesOf(makeSpmKeyQuery("first", std::string(63, 's')));
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(terminatedAt(bytes, 0, 16), "first");
  expectZeroAfter(bytes, 0, 16, 5);
  EXPECT_EQ(terminatedAt(bytes, 16, 64), std::string(63, 's'));

  // Texts too long for their fields never reach past the record.
  const auto cut =
      bytesOf(makeSpmKeyQuery(std::string(16, 'f'), std::string(64, 's')));
  EXPECT_EQ(terminatedAt(cut, 0, 16), std::string(15, 'f'));
  EXPECT_EQ(terminatedAt(cut, 16, 64), std::string(63, 's'));
}

TEST(FieldText, StopsAtTheFirstNulOrTheWidth) {
  const char withNul[8] = {'a', 'b', '\0', 'c', 'd', 'e', 'f', 'g'};
  EXPECT_EQ(fieldText(withNul, sizeof withNul), "ab");
  const char full[4] = {'w', 'x', 'y', 'z'};  // no NUL anywhere
  EXPECT_EQ(fieldText(full, sizeof full), "wxyz");
  EXPECT_EQ(fieldText(full, 0), "");
  const char empty[4] = {};
  EXPECT_EQ(fieldText(empty, sizeof empty), "");
}

TEST(HexUpper, TwoUpperCaseDigitsPerByte) {
  const unsigned char key[] = {0x0A, 0xFF, 0x00, 0x9c};
  struct Case {
    int32_t length;
    const char *hex;
  };
  for (const Case &c : {Case{3, "0AFF00"}, Case{4, "0AFF009C"}, Case{1, "0A"},
                        Case{0, ""}, Case{-1, ""}, Case{INT32_MIN, ""}}) {
    EXPECT_EQ(hexUpper(key, c.length), c.hex) << c.length;
  }
  std::vector<unsigned char> all(256);
  for (size_t i = 0; i < all.size(); ++i)
    all[i] = static_cast<unsigned char>(i);
  const std::string hex = hexUpper(all.data(), 256);
  ASSERT_EQ(hex.size(), 512u);
  EXPECT_EQ(hex.substr(0, 6), "000102");
  EXPECT_EQ(hex.substr(506), "FDFEFF");
}

TEST(LoginRecords, WritesOnlyTheirFields) {
  QCF_ServerInfo server;
  QCF_UserInfo user;
  QCF_CspInfo csp;
  std::memset(&server, 0xAB, sizeof server);
  std::memset(&user, 0xAB, sizeof user);
  std::memset(&csp, 0xAB, sizeof csp);

  VarnNode::LoginFields fields;
  fields.first = 0xDEADBEEFu;
  fields.second = std::string(70, 's');  // longer than its 64-byte field
  fields.third = "third";
  fields.host = "10.0.0.1";
  fields.port = 0x12345678u;  // only the low 16 bits fit
  VarnNode::writeLoginRecords(fields, server, user, csp);

  const auto serverBytes = bytesOf(server);
  const auto userBytes = bytesOf(user);
  const auto cspBytes = bytesOf(csp);
  EXPECT_EQ(terminatedAt(serverBytes, 64, 32), "10.0.0.1");
  EXPECT_EQ(serverBytes[96], 0x78);
  EXPECT_EQ(serverBytes[97], 0x56);
  EXPECT_EQ(u32At(userBytes, 0), 0xDEADBEEFu);
  EXPECT_EQ(terminatedAt(userBytes, 4, 64), std::string(63, 's'));
  EXPECT_EQ(terminatedAt(userBytes, 68, 32), "third");
  EXPECT_EQ(terminatedAt(cspBytes, 16, 9), "40615237");

  // Untouched: the reserved areas, and every byte after a written text's NUL.
  auto expectUntouched = [](const std::vector<unsigned char> &bytes,
                            size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) ASSERT_EQ(bytes[i], 0xAB) << i;
  };
  expectUntouched(serverBytes, 0, 64);
  expectUntouched(serverBytes, 64 + 9, 96);
  expectUntouched(serverBytes, 98, 112);
  expectUntouched(userBytes, 68 + 6, 100);
  expectUntouched(cspBytes, 0, 16);
  expectUntouched(cspBytes, 25, 80);
}

}  // namespace
