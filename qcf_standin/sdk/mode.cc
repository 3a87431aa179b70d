#include "mode.h"

#include <atomic>

namespace qcf_standin {
namespace {

std::atomic<bool> g_simulating{true};

}  // namespace

bool Simulating() { return g_simulating.load(); }

void SetSimulating(bool simulating) { g_simulating = simulating; }

}  // namespace qcf_standin
