#pragma once
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace kelvaro::migration {

// The bytes of `bytes` that Windows-1252 assigns no character (0x81, 0x8D,
// 0x8F, 0x90, 0x9D), in their order.
QList<char> UnassignedCp1252Bytes(QByteArrayView bytes);

// Windows-1252 text; an unassigned byte becomes the control character of the
// same number (U+0081 ...), as Windows itself maps it, so nothing is lost.
QString DecodeCp1252(QByteArrayView bytes);

} // namespace kelvaro::migration
