#include "events/sdk_events.h"

namespace VarnNode {

void raiseSdkError(int32_t, const char *) {}
void raiseSdkMessage(const char *) {}

}  // namespace VarnNode
