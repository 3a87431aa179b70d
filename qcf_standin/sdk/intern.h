// Texts the library hands out (error texts, tokens, versions) must stay valid
// for as long as a caller may hold them, so they are never freed.
#ifndef VARN_QCF_STANDIN_SDK_INTERN_H
#define VARN_QCF_STANDIN_SDK_INTERN_H

#include <string>

namespace qcf_standin {

// Returns a NUL-terminated copy of `text` (embedded NULs kept) that lives
// until the process ends. Equal texts share one copy.
char* InternText(const std::string& text);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_INTERN_H
