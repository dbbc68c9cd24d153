#pragma once
#include <QString>

namespace kelvaro {

// One program-wide text describing the last failure of a routine that reports
// it through a result code or boolean.
void SetLastErrorText(const QString& text);
QString LastErrorText();

} // namespace kelvaro
