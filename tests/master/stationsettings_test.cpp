#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "master/masterstation.h"
#include "master/stationsettings.h"
#include "testsupport.h"

#include <QDir>

using namespace kelvaro;
using namespace kelvaro::test;
using master::StationSettings;
using master::StoreSwitch;
using master::TimeoutField;

TEST(StationSettings, ReadWithDefaultsAndWrittenBackKeyByKey)
{
    InstallationDir dir;
    Mandant = QStringLiteral("200");
    WriteIniString("200MBus3", "COMTimeoutByte", "7", kOvxIni);
    WriteIniString("200MBus", "IntervallCom3", "900", kOvxIni);
    WriteIniString("MB200", "MBSpeichern2", "0", kOvxIni);
    WriteIniString("OVX", "TibboIP3", "10.0.0.5", kOvxIni);
    WriteIniString("OVX", "COM3", "/dev/ttyUSB7", kOvxIni);
    WriteIniString("OVX", "OrmundService", "ormund-test.service", kOvxIni);

    StationSettings s = StationSettings::load(3);
    EXPECT_EQ(s.KorvanisIntervall, 900);
    EXPECT_EQ(s.KorvanisStartFenster, 6);
    EXPECT_EQ(s.IntervallCom, 900);
    EXPECT_EQ(s.timeout(TimeoutField::Timeout), 330);
    EXPECT_EQ(s.timeout(TimeoutField::ByteTime), 7);
    EXPECT_EQ(s.timeout(TimeoutField::DeadTime), 11);
    EXPECT_EQ(s.TibboIP, "10.0.0.5");
    EXPECT_EQ(s.TibboPort, "65535");
    EXPECT_EQ(s.serviceName, "ormund-test.service");
    EXPECT_EQ(s.ports.deviceFor(3), "/dev/ttyUSB7");
    EXPECT_EQ(s.store.on, (std::array<bool, 4>{false, false, false, true}));
    EXPECT_EQ(s.providerKind, mbus::ProviderOleV2);

    // Written back: the Korvanis keys, the time-outs and the device-server address.
    EXPECT_EQ(ReadIniString("200MBus", "KorvanisIntervall", kOvxIni), "900");
    EXPECT_EQ(ReadIniString("200MBus", "KorvanisStartFenster", kOvxIni), "6");
    EXPECT_EQ(ReadIniString("200MBus3", "COMTimeout", kOvxIni), "330");
    EXPECT_EQ(ReadIniString("200MBus3", "COMTimeoutDeadTime", kOvxIni), "11");
    EXPECT_EQ(ReadIniString("200MBus3", "TibboIP3", kOvxIni), "10.0.0.5");
    // Not written back: the storage switches.
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern0", kOvxIni), "");

    s.IntervallCom = 0;
    EXPECT_TRUE(s.saveIntervallCom(3));
    s.setTimeout(TimeoutField::Offset, 80);
    EXPECT_TRUE(s.saveTimeout(TimeoutField::Offset, 3));
    s.store.set(StoreSwitch::MBusLog, true);
    EXPECT_TRUE(s.saveStoreSwitch(StoreSwitch::MBusLog));
    s.providerKind = mbus::ProviderOleV1;
    s.saveProviderKind(3);
    EXPECT_EQ(ReadIniString("200MBus", "IntervallCom3", kOvxIni), "0");
    EXPECT_EQ(ReadIniString("200MBus3", "COMTimeoutOffset", kOvxIni), "80");
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern1", kOvxIni), "1");
    EXPECT_EQ(ReadIniString("200MBus3", "OleProvider", kOvxIni), "0");

    const StationSettings again = StationSettings::load(3);
    EXPECT_EQ(again.IntervallCom, 0);
    EXPECT_EQ(again.timeout(TimeoutField::Offset), 80);
    EXPECT_TRUE(again.store[StoreSwitch::MBusLog]);

    EXPECT_FALSE(master::StoreSwitchAt(4));
    EXPECT_FALSE(master::TimeoutFieldAt(-1));
    EXPECT_EQ(master::TimeoutFieldAt(3), TimeoutField::DeadTime);
}

TEST(StationSettings, AHandlerWhoseWriteFailsSaysSo)
{
    InstallationDir dir;
    Mandant = QStringLiteral("200");
    // A directory where the INI file should be: nothing can be read or written.
    ASSERT_TRUE(QDir(dir.path()).mkdir("OVX.INI"));
    master::MasterStation station;
    station.text1Changed("900");
    EXPECT_EQ(station.settings.IntervallCom, 900);
    EXPECT_TRUE(station.log.grid.cell(0, 1).startsWith(QString::fromUtf8("Fehler beim Schreiben von .\\OVX.INI : ")))
        << station.log.grid.cell(0, 1).toStdString();
}
