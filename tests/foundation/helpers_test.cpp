#include "foundation/cp1252.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "testsupport.h"

using namespace kelvaro;
using kelvaro::test::InstallationDir;

TEST(ReplaceAll, OverwritesInPlaceAndTrimsForBlank)
{
    QString id = "ffff1234";
    ReplaceAll(id, "f", "");
    EXPECT_EQ(id, "1234");
    QString inner = "12f34";
    ReplaceAll(inner, "f", "");
    EXPECT_EQ(inner, "12 34");
    QString longer = "abXYZcd";
    ReplaceAll(longer, "XYZ", "-");
    EXPECT_EQ(longer, "ab-YZcd") << "a longer `what` leaves its tail";
    QString shorter = "abXcd";
    ReplaceAll(shorter, "X", "123");
    EXPECT_EQ(shorter, "ab123") << "a longer `with` overwrites what follows";
    QString comma = "1,5";
    ReplaceAll(comma, ",", ".");
    EXPECT_EQ(comma, "1.5");
}

TEST(ReplaceAll, RunawayStopsWithMessage)
{
    InstallationDir dir;
    QString text = "aa";
    ReplaceAll(text, "a", "a");
    ASSERT_EQ(dir.messages().size(), 1);
    EXPECT_TRUE(dir.messages().first().startsWith("Schwerer Fehler ReplaceAll! Source= aa What=aWidth=a"));
}

TEST(ReplaceAllRecursive, ReplacesEverywhereAndGuardsSelfContainingReplacement)
{
    EXPECT_EQ(ReplaceAllRecursive("$MANDANT$\\x\\$MANDANT$", "$MANDANT$", "200"), "200\\x\\200");
    EXPECT_EQ(ReplaceAllRecursive("a-b", "-", "--"), "a-b");
    EXPECT_EQ(ReplaceAllRecursive("abc", "x", "y"), "abc");
}

TEST(Helpers, DosUmlautsAndHexLists)
{
    // "Zähler Größe" as DOS bytes read through Windows-1252.
    QString text = FromWin1252("Z\x84hler Gr\x94\xE1" "e \x8E\x99\x9A\x81");
    DosUmlautsToAnsi(text);
    EXPECT_EQ(text, QString::fromUtf8("Zähler Größe ÄÖÜü"));

    EXPECT_EQ(StringToHex("AB", ";"), "41;42;");
    EXPECT_EQ(StringToHex(QString(QChar(0x0A)), " "), "0A ");
    EXPECT_EQ(HexToString("68;03;03;68;"), QString::fromLatin1("\x68\x03\x03\x68"));
    EXPECT_EQ(HexToString(StringToHex("xyz", ";")), "xyz");
}

TEST(Time, UnixSecondsOnTheLocalCalendar)
{
    EXPECT_EQ(DateToSeconds(QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC)), 0);
    EXPECT_EQ(DateToSeconds(QDateTime(QDate(1970, 1, 2), QTime(0, 0), Qt::UTC)), 86400);
    EXPECT_EQ(DateToSeconds("02.01.1970"), 86400);
    EXPECT_EQ(DateToSeconds("kein Datum"), 0);
    EXPECT_EQ(DateToSeconds("31.02.2024"), 0);

    // 02:30 on the spring-forward day does not exist in Central Europe; the
    // plain clock arithmetic still round-trips it, as every stored time must.
    for (const char* text : {"31.03.2024 02:30:00", "27.10.2024 02:30:00", "29.02.2024 23:59:59"}) {
        const qint64 s = DateToSeconds(QString::fromLatin1(text));
        ASSERT_NE(s, 0) << text;
        EXPECT_EQ(GermanDateTime(SecondsToDate(s)), QString::fromLatin1(text));
    }
    EXPECT_EQ(DateToSeconds("01.03.2024") - DateToSeconds("29.02.2024"), 86400);
    EXPECT_EQ(DateToSeconds("31.03.2024 03:00:00") - DateToSeconds("31.03.2024 02:00:00"), 3600);
    // A local QDateTime counts by its wall clock, not its UTC offset.
    const QDateTime local(QDate(2026, 7, 1), QTime(12, 0), Qt::LocalTime);
    EXPECT_EQ(DateToSeconds(local), DateToSeconds("01.07.2026 12:00:00"));
}

TEST(Time, WeekdayAndText)
{
    EXPECT_EQ(SecondsToText(DateToSeconds("07.12.2026 13:45:10")), "Mo  07.12.2026  13:45:10");
    EXPECT_EQ(WeekdayName(SecondsToDate(DateToSeconds("06.12.2026"))), "So");
    EXPECT_EQ(WeekdayName(SecondsToDate(DateToSeconds("12.12.2026"))), "Sa");
    EXPECT_EQ(GermanDateTime(SecondsToDate(-1)), "31.12.1969 23:59:59");
}

TEST(ToDouble, GermanNumberRules)
{
    EXPECT_DOUBLE_EQ(ToDouble(""), 0);
    EXPECT_DOUBLE_EQ(ToDouble("1.234,5"), 1234.5);
    EXPECT_DOUBLE_EQ(ToDouble("12,5 €"), 12.5);
    EXPECT_DOUBLE_EQ(ToDouble("€ 3"), 3);
    EXPECT_DOUBLE_EQ(ToDouble("-0,25"), -0.25);
    EXPECT_DOUBLE_EQ(ToDouble(" 42 "), 42);
    EXPECT_DOUBLE_EQ(ToDouble("1,5E3"), 1500);
    EXPECT_DOUBLE_EQ(ToDouble("abc"), 0);
    EXPECT_DOUBLE_EQ(ToDouble("12,5kWh"), 0);
    EXPECT_DOUBLE_EQ(ToDouble("1,2,3"), 0);

    CurrencySymbol() = "SFr.";
    EXPECT_DOUBLE_EQ(ToDouble("12,5 SFr."), 125) << "the comma becomes a group separator";
    CurrencySymbol() = QString::fromUtf8("€");
}

TEST(Val, LeadingNumber)
{
    EXPECT_DOUBLE_EQ(Val("12abc"), 12);
    EXPECT_DOUBLE_EQ(Val("abc"), 0);
    EXPECT_DOUBLE_EQ(Val(" 1 2"), 12);
    EXPECT_DOUBLE_EQ(Val("2.5x"), 2.5);
    EXPECT_EQ(GermanNumber(1234.5), "1234,5");
    EXPECT_EQ(GermanNumber(2, 3), "2,000");
}
