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
    {kInvalidArgument, "invalid argument: a required pointer or text is null"},
    {kNotLoggedIn, "not logged in: no login token was given"},
    {kTokenInvalid, "login token is unknown or has expired"},
    {kUnknownGroup, "unknown group id"},
    {kInvalidKeyHandle, "invalid key handle"},
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
