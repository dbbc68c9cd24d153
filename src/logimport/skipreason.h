#pragma once
#include <QString>

namespace kelvaro::logimport {

// Why a line was not imported.
// Glued: a line cut without its line end with the next line written behind
// it (its time would be the cut line's, its value the next one's);
// Ambiguous: several meters fit the line; Older: the RB6 file already holds a
// later value (the master drops such a value too).
enum class SkipReason { Header, Event, Cut, Glued, BadTime, BadValue, BadBytes, NoMeter, NotStored, Ambiguous, Older, Count };
QString SkipReasonText(SkipReason reason);

} // namespace kelvaro::logimport
