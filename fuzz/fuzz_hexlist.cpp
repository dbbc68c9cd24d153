// Hex lists as typed by a user, stored in INI files or read from a telegram
// file: the parsers take any text, and a list made from bytes reads back as
// the same bytes, with every separator the station writes.
#include "mbus/hexlist.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <cstring>

using namespace kelvaro;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // Any text.
    static const char* const separators[] = {";", " ", ",", "", "\t", "  "};
    const QString separator = QString::fromLatin1(separators[size > 0 ? data[0] % 6 : 0]);
    for (const QString& text : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        (void)HexListeToStr(text, separator);
        (void)HexListeToStr(text, QString());
        QByteArray parsed;
        QString error;
        if (!ParseHexBytes(text, parsed, &error))
            require(!error.isEmpty() && parsed.isEmpty());
    }

    // Round trips of the bytes.
    if (!bytes.isEmpty()) {
        for (const char* sep : {";", ",", " "})
            require(HexListeToStr(StrToHexListe(bytes, QString::fromLatin1(sep)), QString::fromLatin1(sep)) == bytes);
        require(HexListeToStr(StrToHexListe(bytes, QStringLiteral(";")), QString()) == bytes);
    }
    if (bytes.size() >= 2)
        require(HexListeToStr(StrToHexListe(bytes, QString()), QString()) == bytes);
    QByteArray parsed;
    require(ParseHexBytes(StrToHexListe(bytes, QStringLiteral(" ")), parsed) && parsed == bytes);

    QString stream;
    ErzeugeHexStream(bytes, stream);
    qint64 bits = 0;
    std::memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
    (void)MB_ReceiveErrorText(bits);
    return 0;
}
