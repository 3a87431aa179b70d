#include "node_ext/records.h"

#include <cstring>

namespace VarnNode {

void copyBounded(char *field, size_t width, const std::string &text) {
  if (width == 0) return;
  size_t count = text.size() < width - 1 ? text.size() : width - 1;
  std::memcpy(field, text.data(), count);
  field[count] = '\0';
}

std::string fieldText(const char *field, size_t width) {
  const void *nul = std::memchr(field, '\0', width);
  size_t length =
      nul != nullptr
          ? static_cast<size_t>(static_cast<const char *>(nul) - field)
          : width;
  return std::string(field, length);
}

void writeLoginRecords(const LoginFields &fields, QCF_ServerInfo &server,
                       QCF_UserInfo &user, QCF_CspInfo &csp) {
  user.first = fields.first;
  copyBounded(user.second, sizeof user.second, fields.second);
  copyBounded(user.third, sizeof user.third, fields.third);
  std::memcpy(csp.pin, kDefaultPin, sizeof kDefaultPin);
  copyBounded(server.host, sizeof server.host, fields.host);
  server.port = static_cast<uint16_t>(fields.port & 0xFFFFu);
}

QCF_FillKeyItem makeFillKeyItem(const std::string &appName, uint32_t keyLen,
                                const std::string &ansiPath) {
  QCF_FillKeyItem item;
  std::memset(&item, 0, sizeof item);
  copyBounded(item.appName, sizeof item.appName, appName);
  item.keyLen = keyLen;
  copyBounded(item.softkeyPath, sizeof item.softkeyPath, ansiPath);
  std::memcpy(item.pin1, kDefaultPin, sizeof kDefaultPin);
  item.value1 = 5;
  std::memcpy(item.pin2, kDefaultPin, sizeof kDefaultPin);
  item.value2 = 5;
  return item;
}

QCF_SpmKeyQuery makeSpmKeyQuery(const std::string &firstText,
                                const std::string &secondText) {
  QCF_SpmKeyQuery query;
  std::memset(&query, 0, sizeof query);
  copyBounded(query.firstText, sizeof query.firstText, firstText);
  copyBounded(query.secondText, sizeof query.secondText, secondText);
  return query;
}

std::string hexUpper(const unsigned char *bytes, int32_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  if (length <= 0) return text;
  text.reserve(static_cast<size_t>(length) * 2);
  for (int32_t i = 0; i < length; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace VarnNode
