#include "foundation/lasterror.h"

namespace kelvaro {
namespace {
QString g_lastError;
}

void SetLastErrorText(const QString& text) { g_lastError = text; }
QString LastErrorText() { return g_lastError; }

} // namespace kelvaro
