#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"
#include "storage/quarterhourfile.h"
#include "storage/rb6file.h"
#include "testsupport.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kelvaro;

namespace {

// Expected bytes built with QDataStream, independently of the file code.
QByteArray elementBytes(qint32 tm, double value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::DoublePrecision);
    out << tm << value;
    return bytes;
}

struct Rb6Fixture : ::testing::Test {
    test::InstallationDir dir;
    void SetUp() override
    {
        Mandant = QStringLiteral("0200");
        DBPATH = QStringLiteral(".\\DB200\\");
    }
    QString append(qint64 time, double value, QString name = {})
    {
        EXPECT_EQ(RB6Append(DBPATH, 123, time, value, 1, name), 0) << LastErrorText().toStdString();
        return name;
    }
    QByteArray bytes(const QString& name) const
    {
        QFile f(QString(name).replace('\\', '/'));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST(Rb6Names, FollowTheInstallationRules)
{
    test::InstallationDir dir;
    Mandant = QStringLiteral("0200");
    EXPECT_EQ(RB6FileName("D:\\x\\", 123, 1), "D:\\x\\Z200\\000123001.ovx");
    EXPECT_EQ(DataFileName("D:\\x\\", 123, 7, -2, 1), "D:\\x\\Z200\\000123001.ovx");
    EXPECT_EQ(DataFileName("D:\\x\\", 123, -1, -1, 1), "D:\\x\\00000123.15p");
    EXPECT_EQ(DataFileName("D:\\x\\", 123, 2, -1, 1), "D:\\x\\00000123.002");
    EXPECT_EQ(DataFileName("D:\\x\\", 123, 2, 12, 1), "");
    EXPECT_EQ(StationFileName(".\\", 12, 3), ".\\z12a0003.dat");
    EXPECT_EQ(StationFileName(".\\daten", 12, 3, true), ".\\daten\\z12a015p.dat");
}

TEST_F(Rb6Fixture, NewMasterFileIsPreallocatedWithItsHeaderAndTakesTheFirstReadingAtElement10)
{
    const QString name = append(1'700'000'000, 42.5);
    EXPECT_EQ(name, ".\\DB200\\Z200\\000123001.ovx"); // the missing Z directory was created
    const QByteArray file = bytes(name);
    ASSERT_EQ(file.size(), 6000 * 1212);

    QByteArray expected = elementBytes(1, 1.0) + elementBytes(1'700'000'000, 10.0) + elementBytes(0, 1.0)
        + elementBytes(0, 1.0) + elementBytes(600000, 0.0) + elementBytes(0, 0.0);
    expected += QByteArray(3 * 12, '\0');
    expected += elementBytes(1'700'000'000, 42.5) + QByteArray(12, '\0');
    EXPECT_EQ(file.left(expected.size()).toHex(), expected.toHex());
    EXPECT_EQ(file.mid(expected.size()).count('\0'), file.size() - expected.size());

    struct stat st {};
    ASSERT_EQ(::stat(QString(name).replace('\\', '/').toLocal8Bit().constData(), &st), 0);
    EXPECT_GE(qint64(st.st_blocks) * 512, file.size()) << "the space of every block is taken on disk";
}

TEST_F(Rb6Fixture, SameTimeOverwritesOlderTimeIsDroppedAndHeaderTracksTheLastElement)
{
    QString name = append(1000, 1.0);
    append(2000, 2.0, name);
    append(2000, 2.5, name);  // same time: overwrite
    append(1500, 9.0, name);  // older: dropped
    append(3000, 3.0, name);

    RB6Header header;
    ASSERT_TRUE(RB6ReadHeader(name, header));
    EXPECT_EQ(header[1], (RB6Element{3000, 12.0}));
    QList<RB6IndexedElement> elements;
    ASSERT_TRUE(RB6ReadElements(name, elements));
    ASSERT_EQ(elements.size(), 3);
    EXPECT_EQ(elements[1].element, (RB6Element{2000, 2.5}));
    EXPECT_EQ(elements[2].index, 12);

    ASSERT_TRUE(RB6ReadElements(name, elements, 1500, 2500));
    ASSERT_EQ(elements.size(), 1);
    qint64 first = -1, last = -1;
    RB6FileTimes(name, first, last);
    EXPECT_EQ(first, 1000);
    EXPECT_EQ(last, 3000);
    RB6FileTimes(".\\DB200\\Z200\\999999001.ovx", first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
}

TEST_F(Rb6Fixture, FileGrowsBeyondItsCapacityWithoutOverwriting)
{
    QString name = ".\\DB200\\Z200\\000123001.ovx";
    ASSERT_EQ(RB6Create(name, 123, 1, 1, 1, 1, 0, 0), 0); // 100 elements
    for (int k = 0; k < 100; ++k)
        append(1000 + k, k, name);
    RB6Header header;
    ASSERT_TRUE(RB6ReadHeader(name, header));
    EXPECT_EQ(header[1].Wert, 109.0);
    EXPECT_EQ(header[4].Tm, 109);
    EXPECT_EQ(bytes(name).size(), 109 * 12);
    QList<RB6IndexedElement> elements;
    ASSERT_TRUE(RB6ReadElements(name, elements));
    ASSERT_EQ(elements.size(), 100);
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ(elements[k].element, (RB6Element{1000 + k, double(k)}));
}

TEST_F(Rb6Fixture, OneListingOfTheDirectoryFindsFilesUnderAnotherSpellingAndThoseCreatedAfterIt)
{
    // A copied installation spells the file in capitals; another writer adds one after the listing.
    append(1000, 1.0);
    ASSERT_TRUE(QFile::rename("DB200/Z200/000123001.ovx", "DB200/Z200/000123001.OVX"));
    RB6FileNames names;
    QString name;
    ASSERT_EQ(RB6Append(DBPATH, 123, 2000, 2.0, 1, name, &names), RB6Ok) << LastErrorText().toStdString();
    QString later;
    ASSERT_EQ(RB6Append(DBPATH, 124, 1000, 4.0, 1, later), RB6Ok);
    QString sameLater;
    ASSERT_EQ(RB6Append(DBPATH, 124, 2000, 5.0, 1, sameLater, &names), RB6Ok);
    QString fresh;
    ASSERT_EQ(RB6Append(DBPATH, 125, 1000, 6.0, 1, fresh, &names), RB6Ok);
    ASSERT_EQ(RB6Append(DBPATH, 125, 2000, 7.0, 1, fresh, &names), RB6Ok);

    EXPECT_EQ(QDir("DB200/Z200").entryList(QDir::Files, QDir::Name),
              (QStringList{"000123001.OVX", "000124001.ovx", "000125001.ovx"}))
        << "no second file beside any of them";
    for (const char* file : {"DB200/Z200/000123001.OVX", "DB200/Z200/000124001.ovx", "DB200/Z200/000125001.ovx"}) {
        QList<RB6IndexedElement> elements;
        ASSERT_TRUE(RB6ReadElements(file, elements)) << file;
        EXPECT_EQ(elements.size(), 2) << file;
    }
}

TEST_F(Rb6Fixture, DamagedHeadersAreRefusedAndTheFileIsLeftAsItWas)
{
    QString name = append(1000, 1.0);
    const QByteArray good = bytes(name);
    auto damage = [&](int offset, const QByteArray& patch) {
        QByteArray b = good;
        b.replace(offset, patch.size(), patch);
        QFile f(QString(name).replace('\\', '/'));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(b);
        return b;
    };
    const QList<QByteArray> cases = {
        damage(0, elementBytes(2, 1.0)),                       // element 1 not (1, 1.0)
        damage(12, elementBytes(1000, 5.0)),                   // last index below 9
        damage(12, elementBytes(1000, 1e9)),                   // beyond the end of the file
    };
    for (const QByteArray& damaged : cases) {
        damage(0, QByteArray()); // reset
        QFile f(QString(name).replace('\\', '/'));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(damaged);
        f.close();
        SetLastErrorText({});
        EXPECT_EQ(RB6Append(DBPATH, 123, 5000, 7.0, 1, name), RB6HeaderDamaged);
        EXPECT_FALSE(LastErrorText().isEmpty());
        EXPECT_TRUE(bytes(name) == damaged) << "file must stay unchanged";
    }
}

TEST_F(Rb6Fixture, ZeroBlocksWithoutStandardSizeLeavesNoFileAndReportsTheFailure)
{
    RB6_StandardGroesse = 0;
    const QString name = ".\\DB200\\Z200\\000001001.ovx";
    EXPECT_EQ(RB6Create(name, 1, 1, 0), RB6HeaderWriteFailed);
    EXPECT_FALSE(QFileInfo::exists(dir.file("DB200/Z200/000001001.ovx")));
    RB6_StandardGroesse = 2;
    EXPECT_EQ(RB6Create(name, 1, 1, 0), 0);
    EXPECT_EQ(QFileInfo(dir.file("DB200/Z200/000001001.ovx")).size(), 2 * 1212);
    RB6_StandardGroesse = 0;
}

TEST_F(Rb6Fixture, AFileThatCannotBeOpenedGivesAnErrorCode)
{
    // A directory where the file should be: opening fails even for root.
    QDir().mkpath(dir.file("DB200/Z200/000123001.ovx"));
    QString name;
    EXPECT_EQ(RB6Append(DBPATH, 123, 1000, 1.0, 1, name), RB6OpenFailed);
    EXPECT_TRUE(LastErrorText().contains("000123001.ovx")) << LastErrorText().toStdString();
}

TEST_F(Rb6Fixture, FullDiskWhileGrowingCountsNoPartialElement)
{
    QString name = ".\\DB200\\Z200\\000123001.ovx";
    ASSERT_EQ(RB6Create(name, 123, 1, 1), 0);
    for (int k = 0; k < 100; ++k)
        append(1000 + k, k, name);
    const qint64 size = bytes(name).size();

    // A file-size limit makes the next growth fail after 5 bytes, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = size + 5;
    setrlimit(RLIMIT_FSIZE, &tight);
    const int rc = RB6Append(DBPATH, 123, 5000, 5.0, 1, name);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(rc, RB6WriteFailed);
    EXPECT_FALSE(LastErrorText().isEmpty());
    RB6Header header;
    ASSERT_TRUE(RB6ReadHeader(name, header));
    EXPECT_EQ(header[1], (RB6Element{1099, 109.0}));

    append(5000, 5.0, name); // the next reading lands where the failed one would have
    QList<RB6IndexedElement> elements;
    ASSERT_TRUE(RB6ReadElements(name, elements, 5000, 5000));
    ASSERT_EQ(elements.size(), 1);
    EXPECT_EQ(elements[0].index, 110);
    EXPECT_EQ(bytes(name).size(), 110 * 12);
}

TEST(Rb6GapFilling, InsertsGridPointsOnlyInGapsLongerThanOneAndAHalfIntervals)
{
    const QList<RB6Element> raw{{900, 1.0}, {1800, 2.0}, {3000, 3.0}, {5400, 4.0}};
    const QList<RawPoint> points = RB_RohDatenAuffuellenMitRecordset(raw);
    QList<qint64> times;
    for (const RawPoint& p : points)
        times << p.Tm;
    EXPECT_EQ(times, (QList<qint64>{900, 1800, 3000, 3600, 4500, 5400}));
    EXPECT_TRUE(points[3].filled);
    EXPECT_EQ(points[3].Wert, 3.0);
}

TEST(QuarterHourFiles, ValuesLandAtTheirQuarterAndTheFileGrowsInBlocks)
{
    test::InstallationDir dir;
    const QString name = ".\\DB1\\00000123.15p";
    const qint64 day = 20000 * 86400LL;
    ASSERT_EQ(QuarterHourWrite(name, day + 3600 + 5, 4250, 123), 0);
    ASSERT_EQ(QuarterHourWrite(name, day + 86400 + 900 * 10, 4300, 123), 0);
    EXPECT_EQ(QFileInfo(dir.file("DB1/00000123.15p")).size(), 64 + 2 * 400);
    qint32 value = 0;
    ASSERT_TRUE(QuarterHourRead(name, day + 3600, value));
    EXPECT_EQ(value, 4250);
    qint64 first = 0, last = 0;
    QuarterHourFileTimes(name, first, last);
    EXPECT_EQ(first, day);
    EXPECT_EQ(last, day + 86400 + 9000);
    EXPECT_EQ(QuarterHourWrite(name, day - 1, 1, 123), -5);
    ASSERT_EQ(QuarterHourWriteReading(name, day + 900, 12.345, 123), 0);
    ASSERT_TRUE(QuarterHourRead(name, day + 900, value));
    EXPECT_EQ(value, 1235);
    EXPECT_EQ(QuarterHourWriteReading(name, day + 1800, 3e7, 123), -6);
    RB6FileTimes(name, first, last);
    EXPECT_EQ(first, day);
}
