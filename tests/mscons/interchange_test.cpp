#include "edifactreader.h"
#include "testsupport.h"

#include "foundation/timeutil.h"
#include "mscons/edifactsegments.h"
#include "mscons/msconsinterchange.h"
#include "mscons/obiscode.h"

#include <QFile>
#include <QTemporaryDir>

namespace kelvaro::test {
namespace {

using namespace kelvaro::mscons;

TEST(MsconsSyntax, ServiceCharactersInValuesAreReleased)
{
    const EdifactSyntax syntax;
    EXPECT_EQ(syntax.released("1-1:1.8.0"), "1-1?:1.8.0");
    EXPECT_EQ(syntax.released("a?b'c+d"), "a??b?'c?+d");
    EXPECT_EQ(WriteSegments(syntax, {{"NAD", {{"MR"}, {"99'1", "", "293"}}}}), "NAD+MR+99?'1::293'");
}

TEST(MsconsSyntax, ValuesAreWrittenAsStoredWithoutExponent)
{
    for (const double v : {0.0, 0.1, 0.1 + 0.2, 1e-7, -3.25, 12345.678, 1e20, 123456789012.125, -1e-300}) {
        const QString text = ValueText(v, '.');
        EXPECT_FALSE(text.contains('e')) << text.toStdString();
        EXPECT_EQ(text.toDouble(), v) << text.toStdString();
    }
    EXPECT_EQ(ValueText(-0.0, '.'), "0");
    EXPECT_EQ(ValueText(1234.5, ','), "1234,5");
}

TEST(MsconsSyntax, ObisCodeIsTakenFromTheStartOfTheText)
{
    EXPECT_EQ(ObisCodeOfText("1-1:1.8.0"), "1-1:1.8.0");
    EXPECT_EQ(ObisCodeOfText(" 1-0:2.8.1*255 Einspeisung T1"), "1-0:2.8.1*255");
    EXPECT_EQ(ObisCodeOfText("7-0:C.1.0"), "7-0:C.1.0");
    for (const char* no : {"", "Wärme", "1.8.0", "1-1:1.8", "1-1:1.8.0x", "Zählerstand 1-1:1.8.0", "1-1:256.8.0"})
        EXPECT_EQ(ObisCodeOfText(no), "") << no;
}

TEST(MsconsSyntax, StoredLocalTimesBecomeUtc)
{
    const QTimeZone berlin("Europe/Berlin");
    const auto at = [](const char* text) { return DateToSeconds(QString::fromLatin1(text)); };
    EXPECT_EQ(UtcTimeText(at("09.12.2026 00:00"), berlin), "202612082300");
    EXPECT_EQ(UtcTimeText(at("01.07.2026 00:00"), berlin), "202606302200");
    // The night the clocks go back: 00:00 is still summer time.
    EXPECT_EQ(UtcTimeText(at("25.10.2026 00:00"), berlin), "202610242200");
    EXPECT_EQ(UtcTimeText(at("26.10.2026 00:00"), berlin), "202610252300");
    EXPECT_EQ(UtcTimeText(at("09.12.2026 00:00"), QTimeZone::utc()), "202612090000");
}

// The frame and its counts, read back by the independent reader.
TEST(MsconsInterchange, FrameAndCountsAreWhatAnIndependentReaderFinds)
{
    MsconsSettings s;
    s.sender = "9912345678901";
    s.receivers = {"99:00+1"};
    s.timeZone = QTimeZone::utc();
    s.readingDateQualifiers = {"163", "164"};
    MsconsDocument d{"99:00+1", "4711", QDateTime(QDate(2026, 12, 9), QTime(21, 5), QTimeZone::utc()), {}};
    const qint64 t = DateToSeconds(QStringLiteral("08.12.2026 23:45"));
    d.locations = {{"DE000111", {{"1-1:1.8.0", {{QDate(2026, 12, 8), t, 42.5}}}, {"1-1:2.8.0", {}}}},
                   {"51238696781", {{"1-1:1.8.0", {{QDate(2026, 12, 8), t, -1}}}}}};
    const QByteArray bytes = BuildMsconsInterchange(s, d);
    ASSERT_TRUE(bytes.startsWith("UNA:+.? 'UNB+UNOC:3+9912345678901:500+99?:00?+1:500+261209:2105+4711'"))
        << bytes.toStdString();
    EXPECT_FALSE(bytes.contains('\n'));

    QTemporaryDir dir;
    QFile f(dir.filePath("x.edi"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    const QList<ReadSegment> seg = ReadInterchange(f.fileName());
    ASSERT_GE(seg.size(), 4);
    QStringList tags;
    for (const ReadSegment& x : seg)
        tags << x.tag;
    EXPECT_EQ(tags.join(' '), "UNB UNH BGM DTM RFF NAD NAD UNS NAD LOC LIN PIA QTY DTM DTM LIN PIA NAD LOC LIN PIA QTY "
                              "DTM DTM UNT UNZ");
    EXPECT_EQ(seg[0].at(2), "99:00+1");
    EXPECT_EQ(seg[1].at(1, 4), "2.4c");
    EXPECT_EQ(seg[3].at(0, 1), "202612092105+00");
    EXPECT_EQ(seg[4].at(0, 1), "13002");
    EXPECT_EQ(seg[6].at(1), "99:00+1");
    EXPECT_EQ(seg[11].at(1), "1-1:1.8.0");
    EXPECT_EQ(seg[12].at(0, 1), "42.5");
    EXPECT_EQ(seg[13].at(0), "163");
    EXPECT_EQ(seg[13].at(0, 1), "202612080000+00"); // start and end of the reading's day
    EXPECT_EQ(seg[14].at(0, 1), "202612090000+00");
    EXPECT_EQ(seg[19].at(0), "3"); // LIN numbers run through the message
    EXPECT_EQ(seg[21].at(0, 1), "-1");
    EXPECT_EQ(seg[24].at(0), QString::number(seg.size() - 2)); // UNH to UNT
    EXPECT_EQ(seg[24].at(1), "4711");
    EXPECT_EQ(seg[25].at(0), "1");
    EXPECT_EQ(seg[25].at(1), "4711");
}

TEST(MsconsInterchange, ValuesThatUnocCannotCarryGiveNoBytes)
{
    MsconsSettings s;
    s.sender = "1";
    MsconsDocument d{"Empfänger\u20ac", "1", QDateTime::currentDateTimeUtc(), {}};
    EXPECT_TRUE(BuildMsconsInterchange(s, d).isEmpty());
    d.receiver = "Empfänger";
    EXPECT_TRUE(BuildMsconsInterchange(s, d).contains("Empf\xe4nger"));
}

} // namespace
} // namespace kelvaro::test

namespace kelvaro::test {
namespace {

using namespace kelvaro::mscons;

TEST(MsconsSettingsTest, DefaultsOfTheReferenceAndRefusedSettings)
{
    InstallationDir dir;
    const QString ini = QStringLiteral(".\\OVX.INI");
    dir.write("OVX.INI", "[MSCONS7]\r\nAbsender=9912345678901\r\nEmpfaenger= 9900000000001 ; ;99?00'2;\r\n");
    QString problem;
    MsconsSettings s = ReadMsconsSettings("7", ini, problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(s.receivers, (QStringList{"9900000000001", "99?00'2"}));
    EXPECT_EQ(s.senderCode, "500");
    EXPECT_EQ(s.receiverAgency, "293");
    EXPECT_EQ(s.associationVersion, "2.4c");
    EXPECT_EQ(s.documentCode, "7");
    EXPECT_EQ(s.checkIdentifier, "13002");
    EXPECT_EQ(s.messageDateQualifier, "137");
    EXPECT_EQ(s.readingDateQualifiers, QStringList{"7"});
    EXPECT_EQ(s.decimalMark, '.');
    EXPECT_EQ(s.timeZone, QTimeZone::systemTimeZone());

    const struct {
        const char* extra;
        const char* reason;
    } refused[] = {
        {"Absender=\r\n", "Absender fehlt"},
        {"Empfaenger=;\r\n", "Empfaenger fehlt"},
        {"Dezimalzeichen=;\r\n", "Dezimalzeichen"},
        {"Zeitzone=Mond/Mitte\r\n", "Zeitzone"},
        {"Empfaenger=\x80\x31\r\n", "ISO 8859-1"}, // the euro sign of Windows-1252
    };
    for (const auto& r : refused) {
        // The first key found wins: the refused value stands before the good ones.
        dir.write("OVX.INI", QByteArray("[MSCONS7]\r\n") + r.extra
                                 + "Absender=9912345678901\r\nEmpfaenger=9900000000001\r\n");
        ReadMsconsSettings("7", ini, problem);
        EXPECT_TRUE(problem.contains(QString::fromUtf8(r.reason))) << r.extra << ": " << problem.toStdString();
    }
}

} // namespace
} // namespace kelvaro::test
