#pragma once
#include <QByteArray>
#include <QString>

namespace kelvaro {

// Windows-1252 is the encoding of every file the installation shares. The
// conversion is lossless: the five bytes the code page leaves undefined map to
// the code points of the same value and back.
QByteArray ToWin1252(const QString& text);
QString FromWin1252(const QByteArray& bytes);

} // namespace kelvaro
