#include "migration/codepage.h"

namespace kelvaro::migration {

namespace {

// 0x80 to 0x9F; zero where the code page leaves the byte unassigned.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

} // namespace

QList<char> UnassignedCp1252Bytes(QByteArrayView bytes)
{
    QList<char> found;
    for (char b : bytes) {
        const uchar u = uchar(b);
        if (u >= 0x80 && u <= 0x9F && kHighControls[u - 0x80] == 0)
            found << b;
    }
    return found;
}

QString DecodeCp1252(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char b : bytes) {
        const uchar u = uchar(b);
        const char16_t mapped = u >= 0x80 && u <= 0x9F ? kHighControls[u - 0x80] : 0;
        text += QChar(mapped ? mapped : char16_t(u));
    }
    return text;
}

} // namespace kelvaro::migration
