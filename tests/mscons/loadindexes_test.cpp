#include "data/testdatabase.h"

#include "foundation/timeutil.h"
#include "mscons/msconsexport.h"
#include "mscons/referencecounter.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QFile>

namespace kelvaro::test {
namespace {

using namespace kelvaro::mscons;

class MsconsIndexes : public EngineTest {
protected:
    SqlConnection c_{"kelvaro.test.msconsindexes"};
};

TEST_P(MsconsIndexes, AnOlderMeterTableGetsTheLocationColumnAndTheIndexesComeByMeterAndIndex)
{
    ASSERT_TRUE(db_->openInto(c_));
    ASSERT_TRUE(c_.exec("ALTER TABLE zaehler DROP COLUMN MSCONS_Lokation")) << LastErrorText().toStdString();
    ASSERT_TRUE(EnsureMeterColumns(c_)) << LastErrorText().toStdString();
    ASSERT_TRUE(EnsureMeterColumns(c_)) << "a second check changes nothing";
    ASSERT_TRUE(c_.columnExists("zaehler", "MSCONS_Lokation"));

    ASSERT_TRUE(c_.exec("INSERT INTO zaehler (LZNR, ZNr, MSCONS_Lokation) VALUES (9, 'A9', ' DE9 ')"));
    ASSERT_TRUE(c_.exec("INSERT INTO zaehler (LZNR, ZNr) VALUES (3, 'A3')"));
    for (const auto& [lznr, index, text] : {std::tuple{9, 2, "1-1:2.8.0"}, std::tuple{3, 1, "x"},
                                            std::tuple{9, 1, "1-1:1.8.0"}, std::tuple{77, 1, "ohne Zähler"}})
        ASSERT_TRUE(c_.exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, ?, ?)", {lznr, index, text}));
    QList<ExportIndex> indexes;
    QString error;
    ASSERT_TRUE(LoadExportIndexes(c_, indexes, error)) << error.toStdString();
    ASSERT_EQ(indexes.size(), 3);
    EXPECT_EQ(indexes[0].lznr, 3);
    EXPECT_EQ(indexes[0].location, "");
    EXPECT_EQ(indexes[1].lznr, 9);
    EXPECT_EQ(indexes[1].mbIndex, 1);
    EXPECT_EQ(indexes[1].location, "DE9");
    EXPECT_EQ(indexes[1].meterNumber, "A9");
    EXPECT_EQ(indexes[2].text, "1-1:2.8.0");
}

INSTANTIATE_TEST_SUITE_P(Engines, MsconsIndexes, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

// A damaged RB6 file stops the run before anything is written or counted.
TEST(MsconsDamagedFile, NothingIsWrittenAndNoReferenceUsed)
{
    InstallationDir dir;
    Mandant = QStringLiteral("200");
    ASSERT_TRUE(QDir().mkpath(dir.file("Z200")));
    QString good;
    ASSERT_EQ(RB6Append(QStringLiteral(".\\"), 1, DateToSeconds(QStringLiteral("07.12.2026 12:00")), 5, 1, good), 0);
    dir.write("Z200/000002001.ovx", QByteArray(300, '\x7f'));

    ExportRequest r;
    r.settings.sender = "1";
    r.settings.receivers = {"2"};
    r.from = r.to = QDate(2026, 12, 7);
    r.datenPath = QStringLiteral(".\\");
    r.outputDirectory = QStringLiteral("aus");
    r.counterFile = ReferenceCounterFile(QStringLiteral(".\\"), "200");
    r.now = QDateTime::currentDateTimeUtc();
    const ExportReport report = ExportMscons(r, {{1, 1, "1-1:1.8.0", "DE1", "1"}, {2, 1, "1-1:1.8.0", "DE2", "2"}});
    EXPECT_TRUE(report.failed);
    EXPECT_TRUE(report.error.contains("000002001.ovx")) << report.error.toStdString();
    EXPECT_TRUE(report.files.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.file("aus")));
    EXPECT_FALSE(QFile::exists(dir.file("MSCONS-Referenz-M200.txt")));

    // Without it the same run writes its file with reference 1.
    const ExportReport fine = ExportMscons(r, {{1, 1, "1-1:1.8.0", "DE1", "1"}});
    ASSERT_FALSE(fine.failed) << fine.error.toStdString();
    EXPECT_EQ(fine.references, QStringList{"1"});
    EXPECT_EQ(dir.read("MSCONS-Referenz-M200.txt"), "1\r\n");
}

} // namespace
} // namespace kelvaro::test
