// The library answers in one of two modes: as a small key SDK (the
// simulator, the default) or permissively, accepting every call in any order
// (permissive mode, for tests of a host that look only at what reached it).
#ifndef VARN_QCF_STANDIN_SDK_MODE_H
#define VARN_QCF_STANDIN_SDK_MODE_H

namespace qcf_standin {

bool Simulating();
void SetSimulating(bool simulating);

}  // namespace qcf_standin

#endif  // VARN_QCF_STANDIN_SDK_MODE_H
