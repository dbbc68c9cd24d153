#pragma once
#include <QString>

namespace kelvaro {

// Appends "dd.mm.yy hh:mm:ss " + message to DBPATH + "yymmdd" + "ed.log".
// Never fails the caller: a line that cannot be written whole is lost quietly.
void WriteProgramLog(const QString& message);

QString ProgramLogFileName();

} // namespace kelvaro
