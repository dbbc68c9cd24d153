#include "foundation/clientpaths.h"
#include "foundation/programlog.h"
#include "foundation/timeutil.h"
#include "storage/mbuslog.h"
#include "testsupport.h"

using namespace kelvaro;

TEST(MBusLog, HeaderOnlyOnTheFirstLineOfADayAndOneFilePerDay)
{
    test::InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    const QDateTime day1(QDate(2026, 12, 7), QTime(23, 59, 58), Qt::UTC);
    const QDateTime day2(QDate(2026, 12, 8), QTime(0, 0, 1), Qt::UTC);

    ASSERT_TRUE(WriteMBusLogAt(day1, "Fehler : Öffne Datenbank", kMBusLogHeader, kMBusLogTail));
    ASSERT_TRUE(WriteMBusLogAt(day1, MBusReadingLogText("ffff1234", "Wärme 1", 1, 5, 2, 1234.5, " kWh   "),
                               "ignored header", kMBusLogTail));
    ASSERT_TRUE(WriteMBusLogAt(day2, Index1LogText("12 45678", "Zähler", 0.25, "m³ "), kIndex1LogHeader,
                               kIndex1LogTail));

    // The log directory did not exist: it was created.
    const QByteArray expected1 = "Zeitstempel;Z\xE4hlernummer;Z\xE4hlernummer;ComPort;PrimAdr;Wert;Einheit;\r\n"
                                 "07.12.26 23:59:58 ;Fehler : \xD6" "ffne Datenbank\r\n"
                                 "07.12.26 23:59:58 ;1234;W\xE4rme 1;1;5;2;1234,5;kWh;\r\n";
    EXPECT_EQ(dir.read("DB200/MBusLog/261207mb.log"), expected1);
    EXPECT_EQ(dir.read("DB200/MBusLog/261208Index1.txt"),
              QByteArray("Zeitstempel;Z\xE4hlernummer;Z\xE4hlername;Wert;Einheit;\r\n"
                         "08.12.26 00:00:01 ;12 45678;Z\xE4hler;0,25;m\xB3;\r\n"));
    EXPECT_TRUE(dir.read("DB200/MBusLog/261208mb.log").isEmpty());
}

TEST(MBusLog, InnerFBecomesABlankAndAnUnwritableLogReportsFalse)
{
    test::InstallationDir dir;
    EXPECT_EQ(MBusReadingLogText("12f45678", "Z", 3, 253, 1, -0.5, "°C"), "12 45678;Z;3;253;1;-0,5;°C;");
    dir.write("DB9", "a file where the directory should be");
    DBPATH = QStringLiteral(".\\DB9\\");
    EXPECT_FALSE(WriteMBusLog("x", kMBusLogHeader, kMBusLogTail));
    EXPECT_FALSE(FileExists(".\\DB9\\MBusLog"));
    EXPECT_TRUE(FileExists(".\\db9"));
}

TEST(MBusLog, AnErrorTextWithLineBreaksStaysOneLine)
{
    test::InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    const QDateTime at(QDate(2026, 12, 10), QTime(1, 41, 1), Qt::UTC);
    // A server's error text: several lines, the last one ended.
    const QString why = "FATAL:  terminating connection due to administrator command\n"
                        "server closed the connection unexpectedly\r\n";
    ASSERT_TRUE(WriteMBusLogAt(at, "Fehler beim speichern Index in DB :  rc=" + why, kMBusLogHeader, kMBusLogTail));
    ASSERT_TRUE(WriteMBusLogAt(at, "Fehler\rzwei", kMBusLogHeader, kMBusLogTail));
    WriteProgramLog("Zeile eins\nZeile zwei");

    const QList<QByteArray> lines = dir.read("DB200/MBusLog/261210mb.log").split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two lines, the empty rest after the last LF
    EXPECT_EQ(lines[1], "10.12.26 01:41:01 ;Fehler beim speichern Index in DB :  rc=FATAL:  terminating connection "
                        "due to administrator command server closed the connection unexpectedly \r");
    EXPECT_EQ(lines[2], "10.12.26 01:41:01 ;Fehler zwei\r");
    const QByteArray program = dir.read("DB200/" + LocalNow().toString("yyMMdd").toLatin1() + "ed.log");
    EXPECT_TRUE(program.endsWith(" Zeile eins Zeile zwei\r\n")) << program.constData();
    EXPECT_EQ(program.count('\n'), 1);
}
