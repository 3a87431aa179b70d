// The SDK records, byte for byte (little-endian numbers). Reading fields and
// the key's hexadecimal text are tested end to end in test/js/keys_*.test.js.
#include "node_ext/records.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using VarnNode::makeFillKeyItem;
using VarnNode::makeSpmKeyQuery;

template <typename Record>
std::string bytesOf(const Record &record) {
  return std::string(reinterpret_cast<const char *>(&record), sizeof record);
}

// A field as it must be: the text, then zeros to its width.
std::string padded(const std::string &text, size_t width) {
  return text + std::string(width - text.size(), '\0');
}

// The whole record: the PINs and fives fixed, texts cut at their fields by
// bytes (31 and 255 fit), so that a cut may split a multi-byte character.
TEST(FillKeyItem, LaysOutEveryFieldAndCutsTextsAtTheirFields) {
  const std::string a31(31, 'a'), p255(255, 'p'), cut(30, 'a');
  const std::string pin = padded("40615237", 16) + std::string("\5\0\0\0", 4);
  // app, path, then the fields' texts.
  const std::vector<std::array<std::string, 4>> cases = {
      {"app", "C:\\k", "app", "C:\\k"},
      {a31, p255, a31, p255},
      {a31 + "a", p255 + "p", a31, p255},
      {a31 + std::string(700, 'a'), p255 + std::string(700, 'p'), a31, p255},
      {cut + "\xE4\xB8\xAD", "", cut + "\xE4", ""},
  };
  for (const auto &[app, path, appField, pathField] : cases) {
    EXPECT_EQ(
        bytesOf(makeFillKeyItem(app, 0x01020304u, path)),
        padded(appField, 32) + "\4\3\2\1" + padded(pathField, 256) + pin + pin);
  }
}

TEST(SpmKeyQuery, CopiesBothTextsIntoZeroedFieldsAndNeverPastThem) {
  const std::string sixtyThree(63, 's');
  EXPECT_EQ(bytesOf(makeSpmKeyQuery("first", sixtyThree)),
            padded("first", 16) + padded(sixtyThree, 64));
  EXPECT_EQ(
      bytesOf(makeSpmKeyQuery(std::string(16, 'f'), std::string(64, 's'))),
      padded(std::string(15, 'f'), 16) + padded(sixtyThree, 64));
}

// The second text is longer than its 64-byte field; only the port's low 16
// bits fit.
TEST(LoginRecords, WritesOnlyTheirFields) {
  QCF_ServerInfo server;
  QCF_UserInfo user;
  QCF_CspInfo csp;
  const auto fill = [](auto &...records) {
    (std::memset(&records, 0xAB, sizeof records), ...);
  };
  fill(server, user, csp);
  VarnNode::writeLoginRecords(
      {0xDEADBEEFu, std::string(70, 's'), "third", "10.0.0.1", 0x12345678u},
      server, user, csp);

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
