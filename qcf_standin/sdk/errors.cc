#include "errors.h"

#include <string>

#include "intern.h"

namespace qcf_standin {
namespace {

struct ErrorEntry {
  int code;
  const char* text;
};

constexpr ErrorEntry kErrorTable[] = {
    {kOk, "success"},
    {kInvalidArgument,
     "invalid argument: a required pointer is null or a text is empty"},
    {kNotLoggedIn,
     "not logged in: log in with QCF_Auth or QCF_Auth_pubkey_WithInfo first"},
    {kTokenInvalid, "login token is not the one the current login issued"},
    {kUnknownGroup, "unknown group id"},
    {kInvalidKeyHandle,
     "invalid key handle: null, unknown, or released by QCF_Init or "
     "QCF_Finish"},
    {kNotActivated, "not pre-activated: call QCF_PreActivate first"},
    {kNotInitialised, "not initialised: call QCF_Init first"},
    {kTokenExpired, "login token has expired: log in again"},
    {kBadServer, "key server host name is empty or its port is 0"},
    {kWrongPin, "wrong PIN"},
    {kNoKeyFile, "no key file: name one with QCF_SetKeyFilePath first"},
    {kKeyStoreUnreadable, "key file cannot be read or is damaged"},
    {kKeyStoreUnwritable, "key file cannot be written"},
    {kKeyStoreBusy, "key file stayed locked by another user for too long"},
    {kSpmExhausted,
     "not enough unused key material in the security module: fill or "
     "refill keys first"},
    {kSpmFull, "security module is full: its key counters would overflow"},
    {kSoftKeyExists, "soft key file exists and the overwrite flag is 0"},
    {kSoftKeyDirMissing, "directory of the soft key file does not exist"},
    {kSoftKeyPathInvalid, "soft key path is empty or names a directory"},
    {kKeyLenZero, "key length is 0"},
    {kKeyLenTooLarge,
     "key length exceeds the key capacity (setting keyTemporaryCapacity)"},
    {kSoftKeyWriteFailed, "soft key file cannot be written"},
    {kRandomFailed, "the operating system's random source failed"},
    {kRefillAmountInvalid,
     "refill amount out of range: 1 to 1024 keys of 1 byte up to the key "
     "capacity"},
    {kInternalError, "internal error of the key library"},
};
}  // namespace

const char* ErrorText(int code) {
  for (const ErrorEntry& entry : kErrorTable) {
    if (entry.code == code) return entry.text;
  }
  try {
    return InternText("unknown error code " + std::to_string(code));
  } catch (...) {
    return "unknown error code";
  }
}

}  // namespace qcf_standin
