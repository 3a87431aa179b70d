// The library's own return codes and their texts.
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
  kInternalError = 0x0A0000FF,
};

// The text for `code`; codes outside the table get a text that names them.
// The text stays valid until the process ends.
const char* ErrorText(int code);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_ERRORS_H
