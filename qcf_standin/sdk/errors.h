// The library's own return codes and their texts. Codes 0x0A0000xx: the
// low byte's high nibble groups them (0: arguments and sessions, 1: order of
// use, 2: the key store, 3: filling and soft keys).
#ifndef VARN_QCF_STANDIN_SDK_ERRORS_H
#define VARN_QCF_STANDIN_SDK_ERRORS_H

namespace qcf_standin {

enum ErrorCode : int {
  kOk = 0,
  kInvalidArgument = 0x0A000001,
  kNotLoggedIn = 0x0A000002,
  kTokenInvalid = 0x0A000003,
  kUnknownGroup = 0x0A000004,
  kInvalidKeyHandle = 0x0A000005,
  // Order of use and login.
  kNotActivated = 0x0A000010,
  kNotInitialised = 0x0A000011,
  kTokenExpired = 0x0A000012,
  kBadServer = 0x0A000013,
  kWrongPin = 0x0A000014,
  // The key store (the key file).
  kNoKeyFile = 0x0A000020,
  kKeyStoreUnreadable = 0x0A000021,
  kKeyStoreUnwritable = 0x0A000022,
  kKeyStoreBusy = 0x0A000023,
  kSpmExhausted = 0x0A000024,
  kSpmFull = 0x0A000025,
  // Filling, refilling and soft key files.
  kSoftKeyExists = 0x0A000030,
  kSoftKeyDirMissing = 0x0A000031,
  kSoftKeyPathInvalid = 0x0A000032,
  kKeyLenZero = 0x0A000033,
  kKeyLenTooLarge = 0x0A000034,
  kSoftKeyWriteFailed = 0x0A000035,
  kRandomFailed = 0x0A000036,
  kRefillAmountInvalid = 0x0A000037,
  kInternalError = 0x0A0000FF,
};

// The text for `code`; codes outside the table get a text that names them.
// The text stays valid until the process ends.
const char* ErrorText(int code);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_ERRORS_H
