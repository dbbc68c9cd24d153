#include "logimport/logline.h"
#include "storage/mbuslog.h"

#include <QRandomGenerator>
#include <cstring>
#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::logimport;

namespace {

struct Parsed {
    bool reading;
    LogReading r;
    SkipReason reason = SkipReason::Count;
};

Parsed parse(std::string_view line)
{
    Parsed p;
    p.reading = ParseLogLine(line, p.r, p.reason);
    return p;
}

SkipReason reasonOf(std::string_view line)
{
    const Parsed p = parse(line);
    EXPECT_FALSE(p.reading) << line;
    return p.reason;
}

} // namespace

TEST(LogLine, FullLayoutAsTheMasterWritesIt)
{
    const Parsed p = parse("07.12.26 13:45:10 ;12 45678;W\xE4rme 1;2;5;3;-1234,5;kWh;\r");
    ASSERT_TRUE(p.reading);
    EXPECT_FALSE(p.r.shortLayout);
    EXPECT_EQ(p.r.time, 1796651110); // 07.12.2026 13:45:10 as local Unix seconds
    EXPECT_EQ(p.r.id, "12 45678");
    EXPECT_EQ(p.r.name, "W\xE4rme 1");
    EXPECT_EQ(p.r.port, 2);
    EXPECT_EQ(p.r.address, 5);
    EXPECT_EQ(p.r.index, 3);
    EXPECT_EQ(p.r.value, -1234.5);
    EXPECT_EQ(p.r.timeText, "07.12.26 13:45:10");

    // A name holding the separator: the fields are taken from both ends.
    const Parsed named = parse("07.12.26 13:45:10 ;1234;Haus; Nord;1;7;2;5;m\xB3;");
    ASSERT_TRUE(named.reading);
    EXPECT_EQ(named.r.name, "Haus; Nord");
    EXPECT_EQ(named.r.address, 7);
    EXPECT_EQ(named.r.index, 2);
}

TEST(LogLine, ShortLayoutWithAndWithoutFinalSeparator)
{
    for (std::string_view line : {"16.09.05 10:15:00 ;12;1;4711,25", "16.09.05 10:15:00;12;1;4711,25;"}) {
        const Parsed p = parse(line);
        ASSERT_TRUE(p.reading) << line;
        EXPECT_TRUE(p.r.shortLayout);
        EXPECT_EQ(p.r.port, -1);
        EXPECT_EQ(p.r.address, 12);
        EXPECT_EQ(p.r.index, 1);
        EXPECT_EQ(p.r.value, 4711.25);
        EXPECT_EQ(p.r.time, 1126865700);
    }
}

TEST(LogLine, HeaderAndEventLinesAreNoReadings)
{
    EXPECT_EQ(reasonOf("Zeitstempel;Z\xE4hlernummer;Z\xE4hlernummer;ComPort;PrimAdr;Wert;Einheit;"), SkipReason::Header);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;Datenholen gestartet am 07.12.2026 13:45:10"), SkipReason::Event);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;8;Lesefehler;2;rc=-2"), SkipReason::Event);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;Fehler beim speichern RB6 : -3 rc=RB6-Datei x: voll"), SkipReason::Event);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;Fehler : \xD6\x66\x66ne Datenbank"), SkipReason::Event);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;Start Kelvaro : Keine Z\xE4hler f\xFCr Com3"), SkipReason::Event);
    EXPECT_EQ(reasonOf(""), SkipReason::Event);
    EXPECT_EQ(reasonOf("   \r"), SkipReason::Event);
}

TEST(LogLine, CutAndBrokenLinesAreRefusedWithTheirReason)
{
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;12345603;Wasserz"), SkipReason::Cut);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;12345603;Wasserz\xE4hler 3;1;3;1;10"), SkipReason::Cut);
    EXPECT_EQ(reasonOf("07.12.26 13:4"), SkipReason::BadTime);
    EXPECT_EQ(reasonOf("31.02.26 13:45:10 ;1;W;1;3;1;10;m\xB3;"), SkipReason::BadTime);
    EXPECT_EQ(reasonOf("07.13.26 13:45:10 ;1;W;1;3;1;10;m\xB3;"), SkipReason::BadTime);
    EXPECT_EQ(reasonOf("07.12.26 24:00:00 ;1;W;1;3;1;10;m\xB3;"), SkipReason::BadTime);
    EXPECT_EQ(reasonOf("07.12.2126 10:00:00 ;1;W;1;3;1;10;m\xB3;"), SkipReason::BadTime) << "beyond 32-bit time";
    EXPECT_EQ(reasonOf("x7.12.26 13:45:10 ;1;W;1;3;1;10;m\xB3;"), SkipReason::BadTime);
    static constexpr char withNul[] = "07.12.26 13:45:10 ;1;W;1;3;1;1\0;m;";
    EXPECT_EQ(reasonOf(std::string_view(withNul, sizeof withNul - 1)), SkipReason::BadBytes);
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;1;W\x1B;1;3;1;10;m;"), SkipReason::BadBytes);
    // Numbers that cannot be read exactly are never guessed at.
    for (const char* value : {"", "abc", "1.234,5", "1,2,3", "12 5", "nan", "inf", "1e999", "1,5E", "--1", ",", "0x10"}) {
        const std::string line = std::string("07.12.26 13:45:10 ;1;W;1;3;1;") + value + ";m;";
        EXPECT_EQ(reasonOf(line), SkipReason::BadValue) << value;
    }
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;1;W;x;3;1;10;m;"), SkipReason::BadValue) << "port is no number";
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;1;W;1;300;1;10;m;"), SkipReason::BadValue) << "no primary address";
    EXPECT_EQ(reasonOf("16.09.05 10:15:00 ;12;1;zwölf"), SkipReason::BadValue);
}

TEST(LogLine, ACutLineGluedToTheNextOneIsNoReading)
{
    // The master stopped inside a line; the next line was appended without a
    // CR LF between: the first time stamp with the second line's value.
    const std::string next = "07.12.26 13:46:10 ;12345603;Wasserz\xE4hler 3;1;3;1;10,5;m\xB3;";
    for (const char* cut : {"07.12.26 13:45:10 ;12345603;Wass", "07.12.26 13:45:10 ;12345603;W;1;3;1;10,4",
                            "07.12.26 13:45:10 ;12345603;W;1;3;1;10,4;m\xB3", "07.12.26 13:45:10 ;12345603;W;1;3;1;10,4;kWh;",
                            "07.12.26 13:45:10 ;", "07.12.26 13:4", "07.12.26 13:45:10 ;3;1;4"})
        EXPECT_EQ(reasonOf(cut + next), SkipReason::Glued) << cut;
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;3;1;4" + std::string("07.12.26 13:46:10 ;3;1;5")), SkipReason::Glued)
        << "short layout";
    // Texts that hold a time but were written whole stay what they are.
    EXPECT_EQ(reasonOf("07.12.26 13:45:10 ;Datenholen gestartet am 07.12.2026 13:45:10"), SkipReason::Event);
    EXPECT_TRUE(parse("07.12.26 13:45:10 ;12345603;Keller 12:00;1;3;1;10,5;m\xB3;").reading);
    EXPECT_TRUE(parse("07.12.26 13:45:10 ;12345603;Tausch 01.02.26;1;3;1;10,5;m\xB3;").reading);
}

TEST(LogLine, GermanNumbersOfEveryShape)
{
    double v = 0;
    EXPECT_TRUE(ParseGermanNumber("0,5", v));
    EXPECT_EQ(v, 0.5);
    EXPECT_TRUE(ParseGermanNumber(",5", v));
    EXPECT_EQ(v, 0.5);
    EXPECT_TRUE(ParseGermanNumber("-3", v));
    EXPECT_EQ(v, -3.0);
    EXPECT_TRUE(ParseGermanNumber("1,5E+20", v));
    EXPECT_EQ(v, 1.5e20);
    EXPECT_TRUE(ParseGermanNumber(" 7 ", v));
    EXPECT_EQ(v, 7.0);
}

// What the master writes must come back as the very same double: the import
// rebuilds RB6 files from it.
TEST(LogLine, EveryValueTheMasterWritesReadsBackBitForBit)
{
    QRandomGenerator random(20261207);
    QList<double> values{0.1 + 0.2, 1.0 / 3.0, 123456.789, 9007199254740993.0, 1e-12, 6.02214076e23, -0.0,
                         std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()};
    for (int k = 0; k < 2000; ++k) {
        quint64 bits = random.generate64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v))
            values << v;
        values << random.generateDouble() * 1e6;
    }
    for (double value : values) {
        const QByteArray line =
            "07.12.26 13:45:10 ;" + MBusReadingLogText("12345678", "W", 1, 2, 3, value, "kWh").toLatin1();
        const Parsed p = parse(std::string_view(line.constData(), std::size_t(line.size())));
        ASSERT_TRUE(p.reading) << line.constData();
        EXPECT_EQ(std::memcmp(&p.r.value, &value, sizeof value), 0) << line.constData();
    }
}
