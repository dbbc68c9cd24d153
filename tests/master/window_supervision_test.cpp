#include "foundation/ini.h"
#include "foundation/messages.h"
#include "master/supervision.h"
#include "master/ui/frmkelvarov4.h"
#include "stationfixture.h"
#include "../data/testdatabase.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QDBusConnection>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QUdpSocket>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::test;

TEST(MasterWindow, AutoStartsMinimisedAndTheMenusWork)
{
    StationFixture f({Meter(1, "12345601")}, "200");
    ASSERT_TRUE(f.ready);
    WriteIniString("OVX", "COM3", f.sim->device(), kOvxIni);
    master::FrmKelvaroV4 window(f.station);
    window.show();
    f.station.load("Auto -M200 -C3 -T0");
    EXPECT_EQ(window.windowTitle(), "Com3 Kelvaro V1.1");
    EXPECT_TRUE(window.isMinimized());
    EXPECT_TRUE(f.station.Running);
    EXPECT_FALSE(window.cmdStart->isEnabled());
    EXPECT_TRUE(window.cmdStop->isEnabled());
    EXPECT_FALSE(window.TestZaehlerLaden->isEnabled());
    EXPECT_EQ(window.Label1->text(), f.station.label1);
    EXPECT_EQ(window.Text4[0]->text(), "330");
    window.showNormal();

    // The settings panel pauses the timer and restores it.
    window.mnuEinstellung->trigger();
    EXPECT_TRUE(window.Frame3->isVisibleTo(&window));
    EXPECT_FALSE(f.station.Timer1.isActive());
    ASSERT_TRUE(window.Check1[0]->isChecked()) << "the installation stores into the database";
    window.Check1[0]->click();
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern0", kOvxIni), "0");
    EXPECT_FALSE(window.Frame6->isVisibleTo(&window));
    window.Check1[0]->click();
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern0", kOvxIni), "1");
    EXPECT_TRUE(window.Frame6->isVisibleTo(&window));
    window.Text1->setFocus();
    QTest::keyClicks(window.Text1, "0");
    EXPECT_EQ(f.station.label1, "Bereit");
    window.cmdEinstellungenZurueck->click();
    EXPECT_FALSE(window.Frame3->isVisibleTo(&window));
    EXPECT_TRUE(f.station.Timer1.isActive());

    // "&Ende" asks; the recorded answer is the default No.
    window.mnuEnde->trigger();
    EXPECT_TRUE(f.dir.messages().contains("Sind sie sicher?"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(f.station.Timer1.isActive());

    window.mnuLog->trigger();
    EXPECT_TRUE(window.Frame5->isVisibleTo(&window));
    EXPECT_FALSE(window.Frame4->isVisibleTo(&window));

    window.cmdStop->click();
    EXPECT_EQ(f.station.Status, master::RunStatus::Stop);
    EXPECT_TRUE(window.cmdStart->isEnabled());
}

TEST(MasterWindow, ManualReadingFillsTheIndexListView)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    master::FrmKelvaroV4 window(f.station);
    f.station.load("-M1320 -C1 -T0");
    f.station.meterRowChosen(2);
    ASSERT_EQ(f.station.manual.indexGrid.rowCount(), 2);
    EXPECT_EQ(f.station.manual.indexGrid.cell(0, 0), "(2) 1");
    EXPECT_EQ(f.station.manual.indexGrid.cell(0, 1), "100");
    EXPECT_TRUE(window.Frame5->isVisibleTo(&window));

    f.station.cmdSpeichernIndexliste(1);
    EXPECT_EQ(f.rows("MB_IndexListe"), 2);
    EXPECT_EQ(f.meter(2).IndexCount, 2);

    // The log view's text column is as wide as its longest line.
    window.show();
    window.mnuLog->trigger();
    ASSERT_TRUE(window.MSFlexGrid4->isVisible());
    int widest = 0;
    for (int r = 0; r < f.station.log.grid.rowCount(); ++r)
        widest = std::max(widest, window.MSFlexGrid4->fontMetrics().horizontalAdvance(f.station.log.grid.cell(r, 1)));
    EXPECT_GE(window.MSFlexGrid4->columnWidth(1), widest);
}

TEST(Supervision, DeviceServerResetOverUdp)
{
    QUdpSocket server;
    ASSERT_TRUE(server.bind(QHostAddress::LocalHost, 0));
    QStringList received;
    bool answer = true;
    QObject::connect(&server, &QUdpSocket::readyRead, [&] {
        while (server.hasPendingDatagrams()) {
            QByteArray data(server.pendingDatagramSize(), '\0');
            QHostAddress from;
            quint16 port = 0;
            server.readDatagram(data.data(), data.size(), &from, &port);
            received << QString::fromLatin1(data);
            if (data == "L" && answer)
                server.writeDatagram("A", from, port);
        }
    });
    EXPECT_TRUE(master::TibboReset("127.0.0.1", server.localPort()));
    QTest::qWait(50);
    EXPECT_EQ(received, (QStringList{"L", "E"}));

    received.clear();
    answer = false;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(master::TibboReset("127.0.0.1", server.localPort()));
    EXPECT_GE(clock.elapsed(), 450);
    QTest::qWait(50);
    EXPECT_EQ(received, (QStringList{"L", "E"})) << "E is sent after the silence too";
    EXPECT_FALSE(master::TibboReset("", 65535)) << "no device-server address";
}

TEST(Supervision, ServiceStateThroughSystemd)
{
    EXPECT_EQ(master::ServiceStateText(master::ServiceState::Stopped), "Dienst war beendet");
    EXPECT_EQ(master::ServiceStateText(master::ServiceState::Running), "Dienst ist gestartet");
    EXPECT_EQ(master::ServiceStateText(master::ServiceState::Paused), "Dienst war angehalten");
    EXPECT_EQ(master::ServiceStateText(master::ServiceState::Unknown), "Dienst Status = -1");
    EXPECT_EQ(master::ServiceStateText(master::ServiceState::Starting), "Dienst Status = 2");
    {
        InstallationDir dir;
        master::MasterStation station;
        QObject::connect(&station, &master::MasterStation::message,
                         [](const QString& text, const QString& title) { ShowMessageBox(text, title); });
        station.cmdTestService();
        ASSERT_EQ(dir.messageTitles().size(), 1);
        EXPECT_EQ(dir.messageTitles().first(), "Test Ormund");
    }
    if (!QDBusConnection::systemBus().isConnected())
        GTEST_SKIP() << "no systemd on the system bus here: the service check is not exercised";
    const master::ServiceState state = master::CheckService("kelvaro-test-does-not-exist");
    EXPECT_TRUE(state == master::ServiceState::Stopped || state == master::ServiceState::Unknown)
        << static_cast<int>(state);
}

TEST(Master1450, SharedPostgresDatabaseAndSupervisionLines)
{
    KELVARO_REQUIRE_ENGINE(Engine::PostgreSQL);
    StationFixture f({Meter(1, "12345601", 2400, "\"silent\": true"), Meter(2, "12345602")}, "1450");
    ASSERT_TRUE(f.ready);
    ClientDatabase pg(Engine::PostgreSQL);
    ASSERT_TRUE(pg.ready());
    pg.useAsClientDatabase();
    {
        SqlConnection c(QStringLiteral("test.1450"));
        ASSERT_TRUE(pg.openInto(c));
        QList<master::BusMeter> meters;
        QString error;
        ASSERT_TRUE(master::ReadBusMeters(f.dir.file("bus.json"), meters, &error));
        ASSERT_TRUE(master::AddMBusMeters(c, meters, 1, &error)) << error.toStdString();
    }
    // dnq.conf carries the shared database; client 1450 is the one that uses it.
    QByteArray conf;
    for (const QString& v : DBConfig)
        conf += ScrambleText(v.toLatin1(), kDnqKey) + "\r\n";
    f.dir.write("dnq.conf", conf.left(conf.size() - 2));
    WriteIniString("1450MBus1", "TibboIP1", "127.0.0.1", kOvxIni);

    f.station.load("Auto -M1450 -C1 -T0");
    EXPECT_EQ(f.station.meterCount(), 2);
    EXPECT_TRUE(f.station.label7.startsWith("DB : " + DBConfig[DbDataSource]));
    f.station.timerTick();
    SqlConnection c(QStringLiteral("test.1450.count"));
    ASSERT_TRUE(pg.openInto(c));
    EXPECT_EQ(c.scalar("SELECT Count(*) FROM MBusWerte").toInt(), 2);
    EXPECT_EQ(c.scalar("SELECT Count(*) FROM Zaehlerstaende").toInt(), 1);
    const QString log = f.mbLog();
    EXPECT_TRUE(log.contains(" ;Fehler Dienst Status = ") || log.contains(" ;Fehler Dienst war beendet")) << log.toStdString();
    EXPECT_TRUE(log.contains(" ;Fehler Tibbo Reset false\r\n"));
}
