// The SDK records, byte for byte. Reading fields and the key's hexadecimal
// text are tested end to end in test/js/keys_*.test.js.
#include "node_ext/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using VarnNode::makeFillKeyItem;
using VarnNode::makeSpmKeyQuery;

template <typename Record>
std::string bytesOf(const Record &record) {
  return std::string(reinterpret_cast<const char *>(&record), sizeof record);
}

uint32_t u32At(const std::string &bytes, size_t offset) {  // little-endian
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

// A field as it must be: the text, then zeros to its width.
std::string padded(const std::string &text, size_t width) {
  return text + std::string(width - text.size(), '\0');
}

TEST(FillKeyItem, LaysOutEveryFieldWithFixedPinsAndFives) {
  const auto bytes = bytesOf(makeFillKeyItem("app", 0x01020304u, "C:\\k"));
  EXPECT_EQ(bytes.substr(0, 32), padded("app", 32));
  EXPECT_EQ(u32At(bytes, 32), 0x01020304u);
  EXPECT_EQ(bytes.substr(36, 256), padded("C:\\k", 256));
  for (size_t pin : {292u, 312u}) {
    EXPECT_EQ(bytes.substr(pin, 16), padded("40615237", 16)) << pin;
    EXPECT_EQ(u32At(bytes, pin + 16), 5u) << pin;
  }
}

TEST(FillKeyItem, CutsTextsAtTheirFieldsByBytes) {
  for (size_t extra : {0u, 1u, 700u}) {  // 31 and 255 bytes fit, more are cut
    const auto bytes = bytesOf(makeFillKeyItem(std::string(31 + extra, 'a'), 7,
                                               std::string(255 + extra, 'p')));
    EXPECT_EQ(bytes.substr(0, 32), padded(std::string(31, 'a'), 32)) << extra;
    EXPECT_EQ(u32At(bytes, 32), 7u);  // neither text spills into its neighbour
    EXPECT_EQ(bytes.substr(36, 256), padded(std::string(255, 'p'), 256))
        << extra;
    EXPECT_EQ(bytes.substr(292, 16), padded("40615237", 16));
  }
  // A cut may split a multi-byte character: bytes count, not characters.
  const auto bytes =
      bytesOf(makeFillKeyItem(std::string(30, 'a') + "\xE4\xB8\xAD", 0, ""));
  EXPECT_EQ(bytes.substr(0, 32), padded(std::string(30, 'a') + "\xE4", 32));
}

TEST(SpmKeyQuery, CopiesBothTextsIntoZeroedFieldsAndNeverPastThem) {
  const std::string sixtyThree(63, 's');
  EXPECT_EQ(bytesOf(makeSpmKeyQuery("first", sixtyThree)),
            padded("first", 16) + padded(sixtyThree, 64));
  EXPECT_EQ(
      bytesOf(makeSpmKeyQuery(std::string(16, 'f'), std::string(64, 's'))),
      padded(std::string(15, 'f'), 16) + padded(sixtyThree, 64));
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

  // Untouched: the reserved areas, and every byte after a written text's NUL.
  const auto old = [](size_t count) { return std::string(count, '\xAB'); };
  const std::string nul(1, '\0');
  EXPECT_EQ(bytesOf(server),
            old(64) + "10.0.0.1" + nul + old(23) + "\x78\x56" + old(14));
  EXPECT_EQ(bytesOf(user), "\xEF\xBE\xAD\xDE" + std::string(63, 's') + nul +
                               "third" + nul + old(26));
  EXPECT_EQ(bytesOf(csp), old(16) + "40615237" + nul + old(55));
}

}  // namespace
