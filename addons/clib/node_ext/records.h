// Packing and reading of the SDK's fixed-layout records. Pure functions with
// no Node dependency, so they are unit-tested on their own.
#ifndef VARN_NODE_EXT_RECORDS_H
#define VARN_NODE_EXT_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "qcf.h"

namespace VarnNode {

// The default PIN the add-on writes into every CSP and fill-key record.
constexpr const char kDefaultPin[] = "40615237";
// Default key-server port of init and auth_pubkey, and the fixed third
// argument of the SPM report.
constexpr uint32_t kDefaultPort = 18000;
// Default key-server host name of init and auth_pubkey.
constexpr const char kDefaultHost[] = "keyserver.varnkt.local";
static_assert(sizeof kDefaultHost <= sizeof(QCF_ServerInfo::host),
              "the default host name must fit its field");

// Copies at most `width - 1` bytes of `text` into `field`, then a NUL. The
// cut counts bytes, so it may split a multi-byte character.
void copyBounded(char *field, size_t width, const std::string &text);

// The text of a field up to its first NUL, never past `width` bytes.
std::string fieldText(const char *field, size_t width);

// The values init and auth_pubkey place into the login records.
struct LoginFields {
  uint32_t first = 0;
  std::string second;
  std::string third;  // at most 31 bytes; checked by the caller
  std::string host;   // at most 31 bytes; checked by the caller
  uint32_t port = kDefaultPort;
};

// Writes exactly the login fields, in order, leaving every other byte as is.
void writeLoginRecords(const LoginFields &fields, QCF_ServerInfo &server,
                       QCF_UserInfo &user, QCF_CspInfo &csp);

// A zeroed fill-key item with the given texts cut to their fields, the two
// default PINs and the two fixed values 5. `ansiPath` is already converted.
QCF_FillKeyItem makeFillKeyItem(const std::string &appName, uint32_t keyLen,
                                const std::string &ansiPath);

// A zeroed key query; the texts must fit (15 and 63 bytes).
QCF_SpmKeyQuery makeSpmKeyQuery(const std::string &firstText,
                                const std::string &secondText);

// Key bytes as upper-case hexadecimal, two digits per byte; "" for a length
// of 0 or less.
std::string hexUpper(const unsigned char *bytes, int32_t length);

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_RECORDS_H
