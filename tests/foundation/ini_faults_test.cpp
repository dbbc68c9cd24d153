// INI writes against real processes and real file-system faults.
#include "foundation/filefaults.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/safefile.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

const QByteArray kStation = "; station settings\r\n"
                            "[OVX]\r\n"
                            "OVXMandant = 200 \r\n"
                            "COM1=tcp://10.0.0.7:4001\r\n"
                            "\r\n"
                            "[200]\r\n"
                            "DatenPath=.\\daten\\\r\n";

// A station file long enough that a write limit can cut it in the middle.
QByteArray largeStation()
{
    QByteArray bytes = kStation + "[MB200]\r\n";
    for (int i = 0; i < 60; ++i)
        bytes += "MBSpeichern" + QByteArray::number(i) + "=1\r\n";
    return bytes;
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A child process that takes the lock of `ini` and then runs `whileHeld`;
// null when the child did not get the lock.
std::unique_ptr<ChildProcess> holdLock(const QString& ini, const std::function<int()>& whileHeld)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return {};
    auto holder = std::make_unique<ChildProcess>([&] {
        FileLock lock(IniLockPath(ini));
        const char c = lock.lock() ? 'L' : 'F';
        if (::write(ready[1], &c, 1) != 1)
            return 20;
        return whileHeld();
    });
    ::close(ready[1]);
    char c = 0;
    const bool locked = ::read(ready[0], &c, 1) == 1 && c == 'L';
    ::close(ready[0]);
    return locked ? std::move(holder) : nullptr;
}

} // namespace

TEST(IniProcesses, FourWritersAtOnceKeepEveryKey)
{
    InstallationDir dir;
    constexpr int kWriters = 4;
    constexpr int kKeys = 40;
    for (int round = 0; round < 2; ++round) {
        QFile::remove(NativePath(".\\OVX.INI"));
        StartGate gate;
        ASSERT_TRUE(gate.ok());
        std::vector<std::unique_ptr<ChildProcess>> writers;
        for (int w = 0; w < kWriters; ++w)
            // The second round mixes the spellings programs use for the same file.
            writers.push_back(std::make_unique<ChildProcess>([&gate, w, round] {
                const char* file = round == 1 && w % 2 ? ".\\ovx.ini" : ".\\OVX.INI";
                gate.wait();
                int failed = 0;
                for (int k = 0; k < kKeys; ++k)
                    failed += !WriteIniString(QStringLiteral("Port%1").arg(w), QStringLiteral("Key%1").arg(k),
                                              QStringLiteral("%1-%2").arg(w).arg(k), file);
                return failed;
            }));
        gate.open();
        for (auto& writer : writers)
            EXPECT_EQ(writer->wait(), 0) << "writes that reported failure";

        int kept = 0;
        for (int w = 0; w < kWriters; ++w)
            for (int k = 0; k < kKeys; ++k)
                kept += ReadIniString(QStringLiteral("Port%1").arg(w), QStringLiteral("Key%1").arg(k), ".\\OVX.INI") ==
                        QStringLiteral("%1-%2").arg(w).arg(k);
        ASSERT_EQ(kept, kWriters * kKeys) << "round " << round;
        const QStringList left = entriesOf(dir.path());
        ASSERT_EQ(left.size(), 1) << "one file, no lock or temporary file left: " << left.join(' ').toStdString();
        EXPECT_EQ(left.first().toUpper(), "OVX.INI");
    }
}

TEST(IniProcesses, ALiveLockBoundsTheWaitAndAKilledHoldersLockIsTakenOver)
{
    InstallationDir dir;
    dir.write("OVX.INI", kStation);
    const auto holder = holdLock(".\\OVX.INI", [] {
        ::pause();
        return 0;
    });
    ASSERT_TRUE(holder);

    SetLastErrorText({});
    EXPECT_FALSE(WriteIniString("OVX", "COM2", "/dev/ttyUSB0", ".\\OVX.INI")) << "the lock is held";
    EXPECT_TRUE(LastErrorText().contains("OVX.INI")) << LastErrorText().toStdString();
    EXPECT_EQ(dir.read("OVX.INI"), kStation);

    holder->kill();
    ASSERT_TRUE(WriteIniString("OVX", "COM2", "/dev/ttyUSB0", ".\\OVX.INI")) << LastErrorText().toStdString();
    EXPECT_EQ(ReadIniString("OVX", "COM2", ".\\OVX.INI"), "/dev/ttyUSB0");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"OVX.INI"});
}

TEST(IniFullDisk, WriteCutShortLeavesTheOldFile)
{
    InstallationDir dir;
    const QByteArray station = largeStation();
    dir.write("OVX.INI", station);
    for (const rlim_t limit : {rlim_t(0), rlim_t(station.size() / 2), rlim_t(station.size())}) {
        const int code = RunInChild([limit] {
            if (!LimitFileSize(limit))
                return 10;
            SetLastErrorText({});
            if (WriteIniString("OVX", "COM2", "/dev/ttyUSB0", ".\\OVX.INI"))
                return 1;
            return LastErrorText().contains("OVX.INI") ? 0 : 2;
        });
        EXPECT_EQ(code, 0) << "limit " << limit << ": 1 = reported success, 2 = no error text";
        EXPECT_EQ(dir.read("OVX.INI"), station) << "limit " << limit;
        EXPECT_EQ(entriesOf(dir.path()), QStringList{"OVX.INI"}) << "limit " << limit;
    }
}

TEST(IniFullDisk, BrimFullFileSystemLeavesTheOldFile)
{
    InstallationDir dir;
    TinyFileSystem fs(dir.file("vol"), 64 * 1024);
    KELVARO_REQUIRE_MOUNT(fs);
    const QByteArray station = largeStation();
    dir.write("vol/OVX.INI", station);

    // Not a byte left, then one page left: the lock file fits, the new INI does not.
    for (const qint64 spare : {0, 4096}) {
        ASSERT_TRUE(fs.fill(spare));
        SetLastErrorText({});
        EXPECT_FALSE(WriteIniString("OVX", "COM2", "/dev/ttyUSB0", ".\\vol\\OVX.INI")) << "spare " << spare;
        EXPECT_FALSE(LastErrorText().isEmpty());
        EXPECT_EQ(dir.read("vol/OVX.INI"), station) << "spare " << spare;
        EXPECT_EQ(ReadIniNumberOrDefault("OVX", "Intervall", ".\\vol\\OVX.INI", 15), 15);
        EXPECT_EQ(dir.read("vol/OVX.INI"), station) << "a default that cannot be written back";
        EXPECT_EQ(entriesOf(dir.file("vol")), (QStringList{"OVX.INI", "filler"}));
        fs.release();
    }
    ASSERT_TRUE(WriteIniString("OVX", "COM2", "/dev/ttyUSB0", ".\\vol\\OVX.INI")) << "space again";
    EXPECT_EQ(ReadIniString("OVX", "COM2", ".\\vol\\OVX.INI"), "/dev/ttyUSB0");
}

TEST(IniReadError, UnreadableFileIsNeverWrittenBack)
{
    InstallationDir dir;
    dir.write("OVX.INI", kStation);
    ASSERT_TRUE(MakeWriteOnly(dir.file("OVX.INI")));
    const int code = RunAsUnprivileged(dir.path(), [] {
        if (QFile("OVX.INI").open(QIODevice::ReadOnly))
            return 10; // still readable: the test proves nothing
        if (WriteIniString("OVX", "COM2", "/dev/ttyUSB0", ".\\OVX.INI"))
            return 1;
        if (ReadIniStringOrDefault("OVX", "ZeitServer", ".\\OVX.INI", "ptb") != "ptb")
            return 2;
        ReadIniNumberOrDefault("OVX", "Intervall", ".\\OVX.INI", 15);
        return 0;
    });
    QFile::setPermissions(dir.file("OVX.INI"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(code, 0) << "1 = write reported success, 2 = default not returned, 10 = file readable";
    EXPECT_EQ(dir.read("OVX.INI"), kStation);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"OVX.INI"});
}

TEST(IniProcesses, ADefaultNeverOverwritesAValueWrittenMeanwhile)
{
    InstallationDir dir;
    dir.write("OVX.INI", kStation);
    // Another program holds the lock while this one finds the key empty, and
    // sets the key before it lets go.
    const QByteArray withInterval =
        QByteArray(kStation).replace("COM1=tcp://10.0.0.7:4001\r\n", "COM1=tcp://10.0.0.7:4001\r\nIntervall=30\r\n");
    const auto writer = holdLock(".\\OVX.INI", [&] {
        ::usleep(300 * 1000);
        return ReplaceWholeFile(NativePath(".\\OVX.INI"), withInterval) ? 0 : 1;
    });
    ASSERT_TRUE(writer);
    EXPECT_EQ(ReadIniNumberOrDefault("Ovx", "intervall", ".\\OVX.INI", 15), 30);
    EXPECT_EQ(writer->wait(), 0);
    EXPECT_EQ(dir.read("OVX.INI"), withInterval);
}
