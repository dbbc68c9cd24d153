#pragma once
#include <QString>

namespace kelvaro::mscons {

// The OBIS code at the start of an export index's text ("1-1:1.8.0" or
// "1-1:1.8.0*255", optionally followed by a blank and any description), or
// empty when the text begins with none. The groups A to E are numbers of
// 0 to 255; C may also be one of the letters C, F, L, P (service registers).
QString ObisCodeOfText(const QString& text);

} // namespace kelvaro::mscons
