#pragma once
#include <QByteArray>
#include <QString>

namespace kelvaro {

// Bytes as a hex list: two upper-case digits per byte, each followed by the
// separator ("10;7B;FD;78;16;"). An empty separator gives continuous hex.
QString StrToHexListe(const QByteArray& bytes, const QString& separator);

// Hex list back to bytes. An empty separator takes the text's third character
// as the separator (continuous hex is read in pairs). Returns no bytes when the
// text is empty, the separator does not occur or a field is not a hex byte.
QByteArray HexListeToStr(const QString& text, const QString& separator);

// Raw-data display of the test bench: each byte as hex without leading zero
// followed by ";", a CR after every tenth byte.
void ErzeugeHexStream(const QByteArray& bytes, QString& text);

// Texts of the provider's receive-error bits ("Timeout, Wrong Parity, 3").
QString MB_ReceiveErrorText(qint64 errorBits);

// Hex bytes as typed or stored in files: pairs separated by blanks, line
// breaks, ";", "," or nothing. False (and `error` set) on anything else.
bool ParseHexBytes(const QString& text, QByteArray& bytes, QString* error = nullptr);

} // namespace kelvaro
