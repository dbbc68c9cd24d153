#pragma once
#include <QString>

namespace kelvaro {

// "AUTOSEND" anywhere in the command line, in any case: send at once and end.
bool IsAutoSend(const QString& commandLine);
// The text after "-F" up to the next blank or the end; "" without "-F".
QString GetFile(const QString& commandLine);

} // namespace kelvaro
