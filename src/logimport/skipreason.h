#pragma once
#include <QString>

namespace kelvaro::logimport {

// Why a line was not imported.
// Ambiguous: several meters fit the line; Older: the RB6 file already holds a
// later value (the master drops such a value too).
enum class SkipReason { Header, Event, Cut, BadTime, BadValue, BadBytes, NoMeter, NotStored, Ambiguous, Older, Count };
QString SkipReasonText(SkipReason reason);

} // namespace kelvaro::logimport
