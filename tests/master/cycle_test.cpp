#include "foundation/ini.h"
#include "master/mastercommandline.h"
#include "stationfixture.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::test;

TEST(MasterCycle, FullCycleStoresEveryGoodReading)
{
    StationFixture f(TenMeters());
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    EXPECT_EQ(f.station.meterCount(), 10);
    EXPECT_EQ(f.meter(1).PrimAdr, 9) << "fastest baud rate first";
    EXPECT_EQ(f.meter(3).PrimAdr, 1);
    EXPECT_TRUE(f.station.Timer1.isActive());

    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_FALSE(f.station.Timer1.isActive());
    for (int r = 1; r <= 10; ++r) {
        const bool silent = f.meter(r).PrimAdr == 8;
        EXPECT_EQ(f.meter(r).lastRead, silent ? master::LastRead::Failed : master::LastRead::Ok) << r;
        EXPECT_EQ(f.meter(r).OkCount, silent ? 0 : 1) << r;
        EXPECT_EQ(f.meter(r).ErrorCount, silent ? 2 : 0) << "the silent meter fails in both passes";
    }
    EXPECT_EQ(f.rows("MBusWerte"), 9 * 2);
    EXPECT_EQ(f.rows("Zaehlerstaende"), 9);
    EXPECT_EQ(f.rows("MB_IndexListe"), 9 * 2) << "index lists built from the first readings";

    RB6Header header;
    ASSERT_TRUE(RB6ReadHeader(f.dir.file("DB1320/Z1320/000001002.ovx"), header));
    EXPECT_EQ(header[1].Wert, 10.0) << "one element written";
    EXPECT_EQ(QDir(f.dir.file("DB1320/Z1320")).entryList({"*.ovx"}).size(), 18);
    EXPECT_TRUE(QFileInfo::exists(f.dir.file("DB1320/00000001.15p")));

    const QByteArray raw = f.dir.read(f.MBusLogName("mb.log"));
    const QString log = FromWin1252(raw);
    EXPECT_TRUE(raw.startsWith("Zeitstempel;Z\xE4hlernummer;Z\xE4hlernummer;ComPort;PrimAdr;Wert;Einheit;\r\n"));
    const QRegularExpression line(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d ;12345603;Wasserzähler 3;1;3;1;100;m³;$)",
                                  QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(log.split("\r\n").join('\n')).hasMatch()) << log.toStdString();
    EXPECT_TRUE(raw.contains(" ;12345603;Wasserz\xE4hler 3;1;3;2;5;m\xB3;\r\n"));
    EXPECT_TRUE(log.contains(" ;8;Lesefehler;1;rc=-2\r\n"));
    EXPECT_TRUE(log.contains(" ;8;Lesefehler;2;rc=-2\r\n"));
    EXPECT_FALSE(QFileInfo::exists(f.dir.file(f.MBusLogName("Index1.txt"))));
    EXPECT_FALSE(DBConnection().isOpen()) << "the cycle closes its database";
}

TEST(MasterCycle, Client200KeepsNoMainReadingButWritesIndex1)
{
    StationFixture f({Meter(1, "00001234", 2400, R"("mbId": "ffff1234")"),
                      Meter(2, "12045678", 2400, R"("mbId": "12f45678")")}, "200");
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M200 -C1 -T0");
    f.station.timerTick();
    EXPECT_EQ(f.rows("Zaehlerstaende"), 0);
    EXPECT_EQ(f.rows("MBusWerte"), 4);
    EXPECT_FALSE(QFileInfo::exists(f.dir.file("DB200/00000001.15p")));
    const QByteArray index1 = f.dir.read(f.MBusLogName("Index1.txt"));
    EXPECT_TRUE(index1.startsWith("Zeitstempel;Z\xE4hlernummer;Z\xE4hlername;Wert;Einheit;\r\n"));
    EXPECT_TRUE(index1.contains(" ;1234;Wasserz\xE4hler 1;100;m\xB3;\r\n")) << index1.toStdString();
    EXPECT_TRUE(f.mbLog().contains(" ;12 45678;Wasserzähler 2;1;2;1;100;m³;\r\n")) << "an inner f becomes a blank";
}

TEST(MasterCycle, NextStartSollAndSingleRun)
{
    StationFixture f({Meter(1, "12345601")});
    ASSERT_TRUE(f.ready);
    QDateTime now(QDate(2026, 12, 7), QTime(10, 7, 30), Qt::UTC);
    f.station.setClock([&now] { return now; });
    f.station.load("-M1320 -C1 -T0");
    EXPECT_EQ(f.station.Status, master::RunStatus::Stop);
    f.station.text1Changed("900");
    EXPECT_EQ(f.station.label1, "Starte Datenholen um 07.12.2026 10:15:00");
    EXPECT_EQ(ReadIniString("1320MBus", "IntervallCom1", kOvxIni), "900");
    f.station.cmdStart();
    EXPECT_EQ(f.station.NextStart, DateToSeconds(QString("07.12.2026 10:15:00")));

    now = now.addSecs(449); // 10:14:59
    f.station.timerTick();
    EXPECT_EQ(f.station.cycle.durations.rowCount(), 0);
    now = QDateTime(QDate(2026, 12, 7), QTime(11, 15, 0), Qt::UTC);
    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Starte Datenholen um 07.12.2026 11:30:00  [4 Soll]");
    EXPECT_EQ(f.station.cycle.durations.rowCount(), 2) << "one duration per pass";

    f.station.text1Changed("0");
    EXPECT_EQ(f.station.label1, "Bereit");
    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_TRUE(f.station.cmdStartEnabled);
}

TEST(MasterCycle, StopDuringThePassEndsAfterThatMeter)
{
    StationFixture f(TenMeters());
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    QObject::connect(&f.station, &master::MasterStation::rowSelected, [&](int row) {
        if (row == 5 && f.station.Running)
            f.station.cmdStop();
    });
    f.station.timerTick();
    EXPECT_EQ(f.meter(5).lastRead, master::LastRead::Ok);
    EXPECT_EQ(f.meter(5).OkCount, 1);
    EXPECT_EQ(f.meter(6).lastRead, master::LastRead::NotTried);
    EXPECT_EQ(f.station.cycle.durations.rowCount(), 0) << "no end-of-pass step";
    EXPECT_TRUE(f.station.label1.startsWith("Datenholen gestoppt am "));
    EXPECT_FALSE(f.station.cycle.Busy);
    EXPECT_FALSE(DBConnection().isOpen()) << "a stopped pass does not leave the database open";
    EXPECT_EQ(f.rows("MBusWerte"), 5 * 2);
}

TEST(MasterCycle, FirstMeterRetriedAndReadInTheRepeatPass)
{
    // Each reading sends REQ_UD2 and one repeat: four unanswered requests fail
    // the reading and its immediate second try.
    StationFixture f({Meter(1, "12345601", 9600, "\"unansweredRequests\": 4"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    f.station.timerTick();
    EXPECT_EQ(f.meter(1).lastRead, master::LastRead::Ok);
    EXPECT_EQ(f.meter(1).ErrorCount, 1) << "one failed pass";
    EXPECT_EQ(f.meter(1).OkCount, 1);
    EXPECT_TRUE(f.station.log.contains("Nochmal ersten lesen"));
    EXPECT_TRUE(f.mbLog().contains(" ;1;Lesefehler;1;rc=-2\r\n"));
    EXPECT_EQ(f.rows("MBusWerte"), 2) << "the repeat pass stores nothing in the database tables";
    EXPECT_EQ(f.rows("Zaehlerstaende"), 1);
}

TEST(MasterCycle, StepModeWaitsForWeiter)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    int continues = 0;
    QObject::connect(&f.station, &master::MasterStation::stateChanged, [&] {
        if (f.station.cmdWeiterEnabled && f.station.cycle.StepWait) {
            ++continues;
            QTimer::singleShot(10, &f.station, &master::MasterStation::cmdWeiter);
        }
    });
    f.station.load("Auto -M1320 -C1 TEST -T0");
    f.station.timerTick();
    EXPECT_EQ(continues, 2);
    EXPECT_EQ(f.station.label1, "Fertig");
}

TEST(MasterStartUp, CommandLineAndIniWriteBack)
{
    master::MasterCommandLine c = master::ParseMasterCommandLine("-c12 -T500");
    EXPECT_EQ(c.port, 12);
    EXPECT_DOUBLE_EQ(c.meterPause, 0.5);
    EXPECT_FALSE(c.autoStart);
    EXPECT_DOUBLE_EQ(master::ParseMasterCommandLine("-C12 -t500").meterPause, 0.1);
    EXPECT_DOUBLE_EQ(master::ParseMasterCommandLine("Auto -T2000").meterPause, 2.0);
    EXPECT_TRUE(master::ParseMasterCommandLine("x TeSt y").stepMode());
    EXPECT_FALSE(master::ParseMasterCommandLine("x TEST").stepMode());
    EXPECT_TRUE(master::ParseMasterCommandLine("TESTZAEHLER").testMeters);

    StationFixture f({Meter(1, "12345601")}, "200");
    ASSERT_TRUE(f.ready);
    f.station.load("-M200 -C3 -T0");
    EXPECT_EQ(f.station.windowCaption(), "Com3 Kelvaro V1.1");
    EXPECT_EQ(ReadIniString("200MBus3", "COMTimeout", kOvxIni), "330");
    EXPECT_EQ(ReadIniString("200MBus3", "COMTimeoutDeadTime", kOvxIni), "11");
    EXPECT_EQ(ReadIniString("200MBus", "KorvanisIntervall", kOvxIni), "900");
    EXPECT_EQ(f.station.meterCount(), 0) << "no meters on port 3";
    EXPECT_TRUE(f.mbLog().contains(" ;Start Kelvaro : Keine Zähler für Com3\r\n"));

    f.station.check1Clicked(1, false);
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern1", kOvxIni), "0");
    f.station.text4Changed(0, "400");
    EXPECT_EQ(ReadIniString("200MBus3", "COMTimeout", kOvxIni), "400");
}

TEST(MasterStartUp, WithoutPortTheFirstMBusMeterDecides)
{
    StationFixture f({Meter(1, "12345601")});
    ASSERT_TRUE(f.ready);
    f.station.load("-M1320 -T0");
    EXPECT_EQ(f.station.Port, 1);
    EXPECT_EQ(f.station.meterCount(), 1);
}

TEST(MasterCycle, SiblingProgramStartedAfterACycle)
{
    StationFixture f({Meter(1, "12345601")});
    ASSERT_TRUE(f.ready);
    // Written whole, then renamed: the test must not read the file between
    // the shell creating it and echo filling it.
    f.dir.write("korvanis.sh", "#!/bin/sh\necho \"$@\" > korvanis.part && mv korvanis.part korvanis.called\n");
    QFile::setPermissions(f.dir.file("korvanis.sh"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    WriteIniString("1320MBus", "KorvanisProgramm", f.dir.file("korvanis.sh"), kOvxIni);
    WriteIniString("MB1320", "MBSpeichern3", "1", kOvxIni);
    WriteIniString("1320MBus", "IntervallCom1", "900", kOvxIni);
    QDateTime now(QDate(2026, 12, 7), QTime(10, 14, 0), Qt::UTC);
    f.station.setClock([&now] { return now; });
    f.station.load("Auto -M1320 -C1 -T0");
    now = QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0), Qt::UTC);
    f.station.timerTick();
    for (int i = 0; i < 250 && !QFileInfo::exists(f.dir.file("korvanis.called")); ++i)
        QTest::qWait(20);
    EXPECT_EQ(f.dir.read("korvanis.called"), "-M1320 AutoBerechnen\n");
}

TEST(MasterCycle, AReloadWithoutMetersKeepsTheGridAndReadsNothing)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    f.station.timerTick();
    ASSERT_EQ(f.rows("MBusWerte"), 4);
    {
        SqlConnection db("no-meters");
        ASSERT_TRUE(OpenClientDatabase(db));
        ASSERT_TRUE(db.exec("UPDATE zaehler SET Stufe = 0"));
    }
    const qsizetype linesBefore = f.mbLog().count("\r\n");
    f.station.cmdStart();
    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.station.meterCount(), 2) << "the list keeps its meters";
    EXPECT_EQ(f.meter(2).MB_ID, "12345602");
    EXPECT_TRUE(f.station.log.contains(QString::fromUtf8("Kelvaro : Keine Zähler für Com1")));
    EXPECT_EQ(f.rows("MBusWerte"), 4) << "nothing read";
    EXPECT_FALSE(f.mbLog().contains("Lesefehler")) << "no reading errors logged";
    EXPECT_EQ(f.mbLog().count("\r\n"), linesBefore + 1) << f.mbLog().toStdString(); // "Datenholen gestartet am"
}

TEST(MasterStartUp, DatabaseErrorNamesTheConnection)
{
    StationFixture f({Meter(1, "12345601")}, "200");
    ASSERT_TRUE(f.ready);
    ASSERT_TRUE(QFile::remove(f.dir.file("DB200/basis.db")));
    f.station.load("-M200 -C1 -T0");
    ASSERT_EQ(f.dir.messages().size(), 1);
    const QString text = f.dir.messages().first();
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("Fehler beim öffnen der Datenbank .\\DB200\\basis.mdb\r")))
        << text.toStdString();
    EXPECT_TRUE(text.contains("QSQLITE;Database=")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("basis.db\r")) << text.toStdString();
}
