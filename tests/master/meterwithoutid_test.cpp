#include "stationfixture.h"
#include "foundation/lasterror.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

// A water meter whose only record is its volume, `litres` / 1000 m³.
QString VolumeMeter(int primary, const QString& id, quint32 litres)
{
    QByteArray le(4, '\0');
    for (int i = 0; i < 4; ++i)
        le[i] = static_cast<char>((litres >> (8 * i)) & 0xFF);
    return QStringLiteral(R"({"primary": %1, "id": "%2", "medium": 7, "baud": [2400], "records": ["0413%3"]})")
        .arg(primary)
        .arg(id, QString::fromLatin1(le.toHex().toUpper()));
}

// The client database of the fixture, for changes behind the station's back.
struct Database {
    Database()
    {
        EXPECT_TRUE(OpenClientDatabase(db)) << LastErrorText().toStdString();
    }
    bool exec(const QString& sql, const QVariantList& values = {}) { return db.exec(sql, values); }
    qint64 lznrAt(int primary)
    {
        return db.scalar(QStringLiteral("SELECT LZNR FROM zaehler WHERE MBAdr = ?"), {primary}).toLongLong();
    }
    qint64 lznrOf(const QString& name)
    {
        return db.scalar(QStringLiteral("SELECT LZNR FROM zaehler WHERE ZName = ?"), {name}).toLongLong();
    }
    // idx 1 of every MBusWerte row of the meter.
    QList<double> volumes(qint64 lznr)
    {
        QSqlQuery q;
        QList<double> values;
        if (db.query(q, QStringLiteral("SELECT Wert FROM MBusWerte WHERE lznr = ? AND idx = 1"), {lznr}))
            while (q.next())
                values << q.value(0).toDouble();
        return values;
    }
    SqlConnection db{QStringLiteral("test.meterwithoutid")};
};

int linesWith(const master::LogView& log, const QString& text)
{
    int count = 0;
    for (int r = 0; r < log.grid.rowCount(); ++r)
        count += log.grid.cell(r, 1) == text ? 1 : 0;
    return count;
}

int rb6Files(const StationFixture& f) { return QDir(f.dir.file("DB1320/Z1320")).entryList({"*.ovx"}).size(); }

} // namespace

// One meter on the line at address 1. The database knows two meters without
// identification: one at 9, where nobody answers, and one at 1.
TEST(MeterWithoutId, ReadAtItsOwnPrimaryAddressAndStoredUnderItself)
{
    StationFixture f({VolumeMeter(1, "12345601", 1500)});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    Database db;
    const qint64 atOne = db.lznrAt(1);
    ASSERT_TRUE(db.exec("UPDATE zaehler SET MB_ID = NULL, ZName = 'Keller' WHERE LZNR = ?", {atOne}));
    ASSERT_TRUE(db.exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, Tarifgrp, Stufe, MBAdr, MBComP, MBBaud, MBIndex, "
                        "MB_ID) VALUES ('neun', 'Dach', 'M-Bus', 1, 1, 9, 1, 2400, 1, '')"));
    const qint64 atNine = db.lznrAt(9);

    f.station.timerTick();
    ASSERT_EQ(f.station.label1, "Fertig");
    EXPECT_TRUE(db.volumes(atNine).isEmpty()) << "meter 9 never gets the values of meter 1";
    EXPECT_EQ(db.volumes(atOne), QList<double>{1.5});
    EXPECT_EQ(db.db.scalar("SELECT Count(*) FROM Zaehlerstaende WHERE LZNR = ?", {atNine}).toInt(), 0);
    EXPECT_EQ(rb6Files(f), 1) << "one RB6 file, the one of meter 1";
    EXPECT_TRUE(QFileInfo::exists(f.dir.file(QStringLiteral("DB1320/Z1320/%1").arg(atOne, 6, 10, QChar('0')) + "001.ovx")));

    // mb.log: the meter's own (empty) identification, name and address, as
    // the log import looks it up; the one at 9 only with its reading error.
    const QString log = f.mbLog();
    EXPECT_TRUE(log.contains(QString::fromUtf8(" ;;Keller;1;1;1;1,5;m³;\r\n"))) << log.toStdString();
    EXPECT_FALSE(log.contains("Dach;")) << log.toStdString();
    EXPECT_TRUE(log.contains(" ;9;Lesefehler;2;rc=-2\r\n")) << "failed in both passes";

    const QString note9 = QString::fromUtf8("Zähler Dach (lznr %1) ohne Sekundäradresse, gelesen über Primäradresse 9")
                              .arg(atNine);
    EXPECT_EQ(linesWith(f.station.log, note9), 1) << "once per cycle, not again in the repeat pass";
    EXPECT_EQ(linesWith(f.station.log, QString::fromUtf8("Zähler Keller (lznr %1) ohne Sekundäradresse, gelesen über "
                                                         "Primäradresse 1")
                                           .arg(atOne)),
              1);
    EXPECT_TRUE(FromWin1252(f.dir.read("DB1320/" + LocalNow().toString("yyMMdd") + "ed.log")).contains(note9))
        << "also in the program log";

    f.station.cmdStart();
    f.station.timerTick();
    EXPECT_EQ(linesWith(f.station.log, note9), 2) << "and again in the next cycle";
    EXPECT_EQ(db.volumes(atOne).size(), 2);
}

// Four meters on the line; two database meters have no identification and
// one an old pattern that fits several: a wildcard selection would meet them
// all at once and read none.
TEST(MeterWithoutId, SeveralOnOneLineAllReadInOneCycle)
{
    StationFixture f({VolumeMeter(1, "12345601", 1000), VolumeMeter(2, "12345602", 2000),
                      VolumeMeter(3, "12345603", 3000), VolumeMeter(4, "12345604", 4000)});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    Database db;
    ASSERT_TRUE(db.exec("UPDATE zaehler SET MB_ID = NULL WHERE MBAdr = 2"));
    ASSERT_TRUE(db.exec("UPDATE zaehler SET MB_ID = '  ' WHERE MBAdr = 3"));
    ASSERT_TRUE(db.exec("UPDATE zaehler SET MB_ID = '1234560f' WHERE MBAdr = 4"));

    f.station.timerTick();
    ASSERT_EQ(f.station.label1, "Fertig");
    for (int a = 1; a <= 4; ++a) {
        EXPECT_EQ(db.volumes(db.lznrAt(a)), QList<double>{a * 1.0}) << "meter " << a;
        EXPECT_EQ(f.meter(a).ErrorCount, 0) << "read in the first pass: " << a;
    }
    EXPECT_FALSE(f.mbLog().contains("Lesefehler")) << f.mbLog().toStdString();
    EXPECT_TRUE(f.station.log.contains(QString::fromUtf8(
        "Zähler Wasserzähler 4 (lznr %1) mit ungültiger Sekundäradresse \"1234560f\", gelesen über Primäradresse 4")
                                           .arg(db.lznrAt(4))));
}

// A meter as the meter list editor saves a new one: no identification, no
// tariff group name, the master's port and address.
TEST(MeterWithoutId, ANewMeterOfTheEditorIsReadInTheNextCycle)
{
    StationFixture f({VolumeMeter(1, "12345601", 1000), VolumeMeter(2, "12345602", 2000),
                      VolumeMeter(3, "12345603", 3000)});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    Database db;
    ASSERT_TRUE(db.exec("DELETE FROM zaehler WHERE MBAdr = 3"));
    f.station.timerTick();
    ASSERT_EQ(f.station.meterCount(), 2);

    ASSERT_TRUE(db.exec("INSERT INTO zaehler (ZNr, ZName, MBAdr, MBComP, MBBaud, MBIndex, MB_SelectSec, MBZstand, "
                        "Tarifgrp, ZQuelle, Stufe) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 1, 'M-Bus', 1)",
                        {"4711", QString::fromUtf8("Neuer Zähler"), 3, 1, 2400, 1, QString(), QString()}));
    const qint64 added = db.lznrAt(3);
    f.station.cmdStart();
    f.station.timerTick();
    ASSERT_EQ(f.station.label1, "Fertig");
    ASSERT_EQ(f.station.meterCount(), 3);
    EXPECT_EQ(db.volumes(added), QList<double>{3.0});
    EXPECT_EQ(db.db.scalar("SELECT ZStand FROM Zaehlerstaende WHERE LZNR = ?", {added}).toDouble(), 3.0);
    EXPECT_TRUE(f.mbLog().contains(QString::fromUtf8(" ;;Neuer Zähler;1;3;1;3;m³;\r\n"))) << f.mbLog().toStdString();
}

// Meters the station cannot tell apart from others are not stored at all.
TEST(MeterWithoutId, NoAddressOrAnotherMetersReplyStoresNothing)
{
    StationFixture f({VolumeMeter(1, "12345601", 1000)});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    Database db;
    const qint64 pattern = db.lznrAt(1);
    ASSERT_TRUE(db.exec("UPDATE zaehler SET MB_ID = 'ffff9999', ZName = 'Muster' WHERE LZNR = ?", {pattern}));
    ASSERT_TRUE(db.exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, Tarifgrp, Stufe, MBAdr, MBComP, MBBaud, MBIndex) "
                        "VALUES ('a', 'Ohne', 'M-Bus', 1, 1, NULL, 1, 2400, 1)"));
    ASSERT_TRUE(db.exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, Tarifgrp, Stufe, MBAdr, MBComP, MBBaud, MBIndex, "
                        "MB_ID) VALUES ('b', 'Zu gross', 'M-Bus', 1, 1, 257, 1, 2400, 1, 'abc')"));

    f.station.timerTick();
    ASSERT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.rows("MBusWerte"), 0);
    EXPECT_EQ(f.rows("Zaehlerstaende"), 0);
    EXPECT_EQ(rb6Files(f), 0);
    const QString log = f.mbLog();
    EXPECT_TRUE(log.contains(" ;1;Lesefehler;2;rc=-6\r\n")) << log.toStdString();
    EXPECT_EQ(log.count(QRegularExpression(" ;;Lesefehler;\\d;rc=-5\r\n")), 4) << "two meters, two passes";
    EXPECT_FALSE(log.contains(";1;1;1;")) << "no value line";
    EXPECT_EQ(linesWith(f.station.log, QString::fromUtf8("Zähler Muster (lznr %1): Antwort von Zähler 12345601 statt "
                                                         "ffff9999, Werte nicht gespeichert")
                                           .arg(pattern)),
              1);
    EXPECT_TRUE(f.station.log.contains(QString::fromUtf8("Zähler Ohne (lznr %1) ohne Sekundäradresse und ohne gültige "
                                                         "Primäradresse (0 bis 250): nicht gelesen")
                                           .arg(db.lznrOf("Ohne"))));
    EXPECT_TRUE(f.station.log.contains(QString::fromUtf8("Zähler Zu gross (lznr %1) mit ungültiger Sekundäradresse "
                                                         "\"abc\" und ohne gültige Primäradresse (0 bis 250): nicht "
                                                         "gelesen")
                                           .arg(db.lznrOf("Zu gross"))));
}

// Address 253 means: by secondary address. Without one, the manual reading
// of the grid row selects nobody instead of whoever answers a wildcard.
TEST(MeterWithoutId, AManualReadingAt253NeedsAWholeSecondaryAddress)
{
    StationFixture f({VolumeMeter(1, "12345601", 1000)});
    ASSERT_TRUE(f.ready);
    StartClient("-M1320");
    {
        Database db;
        ASSERT_TRUE(db.exec("UPDATE zaehler SET MBAdr = 253, MB_ID = NULL"));
    }
    DBConnection().close();
    ResetClient();
    f.station.load("-M1320 -C1 -T0");
    ASSERT_EQ(f.station.meterCount(), 1);
    ASSERT_EQ(f.meter(1).PrimAdr, 253);
    f.station.meterRowChosen(1);
    EXPECT_TRUE(f.station.log.contains(QString::fromUtf8("Keine gültige Sekundäradresse: ")));
    EXPECT_FALSE(f.station.log.contains("Antwort OK  "));
    EXPECT_EQ(f.station.manual.indexGrid.rowCount(), 0);
}
