#include "foundation/termination.h"

#include <atomic>

namespace kelvaro {
namespace {
std::atomic_bool g_requested{false};
} // namespace

bool TerminationRequested() { return g_requested.load(); }
void SetTerminationRequested() { g_requested.store(true); }

} // namespace kelvaro
