#pragma once
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/recordtext.h"
#include "mbus/telegram.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kelvaro::mbus::test {

inline QByteArray hex(const char* text)
{
    QByteArray bytes;
    EXPECT_TRUE(ParseHexBytes(QString::fromLatin1(text), bytes)) << text;
    return bytes;
}

inline std::span<const std::uint8_t> span(const QByteArray& b) { return ByteSpan(b); }

// A response frame (C 08, address 1) around the given CI and user data.
inline QByteArray response(std::uint8_t ci, const char* userData)
{
    return BuildLongFrame(0x08, 0x01, ci, span(hex(userData)));
}

// CI 72 response with a fixed header (ID 12345678, "PAD", water) and records.
inline QByteArray withHeader(const char* records)
{
    return response(0x72, (QByteArray("78 56 34 12 24 40 01 07 55 00 00 00 ") + records).constData());
}

inline Telegram decode(const QByteArray& frame)
{
    Telegram t;
    DecodeTelegram(span(frame), t);
    return t;
}

inline QString valueText(const Telegram& t, std::size_t i, Language language = Language::German)
{
    return i < t.records.size() ? DisplayValueText(t, t.records[i], language) : QStringLiteral("<none>");
}

inline QString text(const Telegram& t, std::size_t i, Language language = Language::German)
{
    return i < t.records.size() ? MeasurementText(t, t.records[i], language) : QStringLiteral("<none>");
}

inline QString unit(const Telegram& t, std::size_t i)
{
    return i < t.records.size() ? UnitText(t, t.records[i]) : QStringLiteral("<none>");
}

} // namespace kelvaro::mbus::test
