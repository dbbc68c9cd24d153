#include "jettools.h"

#include "migration/jetfile.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

namespace kelvaro::test {
namespace {

using namespace kelvaro::migration;

std::unique_ptr<JetFile> openJet(const QString& path)
{
    QString error;
    auto file = JetFile::open(path, error);
    EXPECT_TRUE(file) << error.toStdString();
    return file;
}

TEST(JetFile, TablesAndRowCountsAreThoseOfTheMdbTools)
{
    KELVARO_REQUIRE_TESTDATA();
    for (const QString& name : {QStringLiteral("nwind-jet3.mdb"), QStringLiteral("datetest-jet4.mdb")}) {
        const QString path = JetTestFile(name);
        const auto file = openJet(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->versionText(), name.contains("jet3") ? "Jet 3" : "Jet 4");
        const QStringList expected = MdbTool("mdb-tables", {"-1", path}).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(file->tableNames(), expected);
        for (const QString& table : expected) {
            JetTable t;
            QString error;
            ASSERT_TRUE(file->readTable(table, t, error)) << error.toStdString();
            EXPECT_EQ(t.rows.size(), MdbTool("mdb-count", {path, table}).trimmed().toLongLong())
                << table.toStdString();
            EXPECT_TRUE(t.problems.isEmpty()) << table.toStdString();
        }
    }
    EXPECT_TRUE(openJet(JetTestFile("nwind-jet3.mdb"))->tableNames().contains(QStringLiteral("Umsätze")));
}

// Every value of every table of the Jet 3 file as mdb-export prints it:
// numbers, currency, booleans, dates, texts with umlauts and accents, memos;
// long binary values by their length.
TEST(JetFile, EveryValueEqualsWhatMdbExportReads)
{
    KELVARO_REQUIRE_TESTDATA();
    const QString path = JetTestFile("nwind-jet3.mdb");
    const auto file = openJet(path);
    ASSERT_TRUE(file);
    const QString format = QStringLiteral("%Y-%m-%d %H:%M:%S");
    int compared = 0;
    for (const QString& table : file->tableNames()) {
        JetTable t;
        QString error;
        ASSERT_TRUE(file->readTable(table, t, error));
        const QList<QStringList> csv = ParseCsv(MdbTool("mdb-export", {"-D", format, "-T", format, "-b", "hex", path, table}));
        ASSERT_EQ(csv.size(), t.rows.size() + 1) << table.toStdString();
        for (qsizetype r = 0; r < t.rows.size(); ++r) {
            for (qsizetype c = 0; c < t.columns.size(); ++c) {
                const QString& want = csv[r + 1].value(c);
                const QVariant& got = t.rows[r][c];
                const std::string where = QStringLiteral("%1 row %2 %3").arg(table).arg(r + 1).arg(t.columns[c].name).toStdString();
                switch (t.columns[c].type) {
                case JetType::Boolean: EXPECT_EQ(got.toBool() ? "1" : "0", want) << where; break;
                case JetType::Single: // mdb-export prints 0.15f as 0.15000001
                    EXPECT_EQ(float(got.toDouble()), want.toFloat()) << where;
                    break;
                case JetType::Double: EXPECT_NEAR(got.toDouble(), want.toDouble(), 1e-9 * std::max(1.0, std::fabs(want.toDouble()))) << where; break;
                case JetType::DateTime:
                    EXPECT_EQ(got.toDateTime().toString("yyyy-MM-dd hh:mm:ss"), want) << where;
                    break;
                case JetType::Ole:
                case JetType::Binary: EXPECT_EQ(got.toByteArray().toHex().toUpper(), want.toLatin1()) << where; break;
                default: EXPECT_EQ(got.toString(), want) << where; break;
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 20000);
}

// Windows-1252 leaves five bytes unassigned; the library turns them into "?".
TEST(JetFile, UnassignedCodePageBytesAreKeptAndReported)
{
    KELVARO_REQUIRE_TESTDATA();
    QFile original(JetTestFile("nwind-jet3.mdb"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    const qsizetype at = bytes.indexOf("Alfreds Futterkiste");
    ASSERT_GE(at, 0);
    bytes[at + 3] = '\x81';
    bytes[at + 9] = '\x9D';
    QTemporaryDir dir;
    QFile copy(dir.filePath("basis.mdb"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(bytes);
    copy.close();
    EXPECT_TRUE(MdbTool("mdb-export", {copy.fileName(), "Customers"}).contains("Alf?eds F?tterkiste"));

    const auto file = openJet(copy.fileName());
    ASSERT_TRUE(file);
    JetTable t;
    QString error;
    ASSERT_TRUE(file->readTable("Customers", t, error));
    EXPECT_EQ(t.rows[0][1].toString(), QString::fromUtf8("Alf\u0081eds F\u009Dtterkiste"));
    ASSERT_EQ(t.problems.size(), 2);
    EXPECT_EQ(t.problems[0].row, 1);
    EXPECT_EQ(t.problems[0].column, "CompanyName");
    EXPECT_TRUE(t.problems[0].text.contains("0x81")) << t.problems[0].text.toStdString();
    EXPECT_TRUE(t.problems[1].text.contains("0x9D")) << t.problems[1].text.toStdString();
    EXPECT_EQ(t.rows[1][1].toString(), "Ana Trujillo Emparedados y helados"); // the rows around stay as they were
}

TEST(JetFile, DatesAtTheEdgesOfTheRangeAndTexts)
{
    KELVARO_REQUIRE_TESTDATA();
    const auto file = openJet(JetTestFile("datetest-jet4.mdb"));
    ASSERT_TRUE(file);
    JetTable t;
    QString error;
    ASSERT_TRUE(file->readTable("DateTest", t, error));
    ASSERT_EQ(t.rows.size(), 6);
    EXPECT_EQ(t.rows[0][1].toDateTime(), QDateTime(QDate(2021, 12, 2), QTime(0, 0)));
    EXPECT_EQ(t.rows[1][1].toDateTime().date().year(), 9999); // "Year 9999"
    EXPECT_LT(t.rows[2][1].toDateTime().date().year(), 1900); // "Pre-1900 years"
    EXPECT_LT(t.rows[3][1].toDateTime().date().year(), 1000); // "Pre-1000 years"
    EXPECT_EQ(t.rows[5][4].toString(), "New line\r\nin field");
    EXPECT_EQ(t.rows[1][5].toString(), "Year 1999");
    EXPECT_TRUE(t.problems.isEmpty());
}

TEST(JetFile, JetDatesCountDaysFromTheEndOf1899)
{
    EXPECT_EQ(JetDateTime(0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(JetDateTime(1.5), QDateTime(QDate(1899, 12, 31), QTime(12, 0)));
    // Before the epoch the time of day still counts forwards.
    EXPECT_EQ(JetDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(JetDateTime(0.75), QDateTime(QDate(1899, 12, 30), QTime(18, 0))); // a time-only value
    EXPECT_EQ(JetDateTime(2958465.0 + 86399.0 / 86400.0), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59)));
    EXPECT_EQ(JetDateTime(-657434.0), QDateTime(QDate(100, 1, 1), QTime(0, 0)));
}

TEST(JetFile, DamagedAndForeignFilesGiveAnErrorNotACrash)
{
    KELVARO_REQUIRE_TESTDATA();
    QFile original(JetTestFile("nwind-jet3.mdb"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    QTemporaryDir dir;
    const QList<QByteArray> damaged = {QByteArray(), QByteArray("[OVX]\r\nOVXMandant=200\r\n"), bytes.left(4096),
                                       bytes.left(100000), QByteArray(bytes.size(), '\xA5')};
    for (qsizetype k = 0; k < damaged.size(); ++k) {
        const QString path = dir.filePath(QStringLiteral("damaged%1.mdb").arg(k));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged[k]);
        f.close();
        QString error;
        const auto file = JetFile::open(path, error);
        bool allRead = bool(file);
        if (file) {
            for (const QString& table : file->tableNames()) {
                JetTable t;
                allRead = allRead && file->readTable(table, t, error);
            }
        }
        EXPECT_FALSE(allRead) << "case " << k;
        EXPECT_FALSE(error.isEmpty()) << "case " << k;
    }
    QString error;
    EXPECT_FALSE(JetFile::open(dir.filePath("missing.mdb"), error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace kelvaro::test
