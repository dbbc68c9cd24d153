// Lines of meters that answer with real telegrams: dates, manufacturer data
// and answers spread over several telegrams.
#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/hexlist.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/nativeprovider.h"
#include "readall/readall.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

using namespace kelvaro;
using namespace kelvaro::readall;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

QString corpusDir()
{
    const QString base = kelvaro::test::TestDataDir();
    const QString dir = base + QStringLiteral("/mbus-telegrams");
    return !base.isEmpty() && QDir(dir).exists() ? dir : QString();
}

QString frameHex(const QString& name)
{
    QFile f(corpusDir() + "/frames/" + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).simplified();
}

QString framesMeter(int primary, const QStringList& frameFiles)
{
    QStringList frames;
    for (const QString& name : frameFiles)
        frames << '"' + frameHex(name) + '"';
    return QStringLiteral(R"({"primary": %1, "id": "1234567%1", "baud": [9600], "frames": [%2]})")
        .arg(primary)
        .arg(frames.join(','));
}

QStringList readLine(const QStringList& meters, int address)
{
    InstallationDir dir;
    SimProcess sim(BusJson(meters), {"--fast"});
    if (sim.device().isEmpty())
        return {};
    WriteIniString("OVX", "COM3", sim.device(), kOvxIni);
    mbus::NativeProvider provider;
    provider.setPortDirectory(mbus::LoadPortDirectory());
    ReadAll reader(provider);
    reader.timeouts.timeout = 40;
    reader.timeouts.offset = 8;
    reader.clock = [] { return QDateTime(QDate(2026, 3, 14), QTime(8, 0)); };
    dir.write("out/.keep", "");
    reader.readAll({"3", "out/", QString::number(address)});
    const QStringList lines = QString::fromLatin1(dir.read("out/260314mb.txt")).split("\r\n", Qt::SkipEmptyParts);
    return lines.value(address - 1).split('\t');
}

// The records of the reference output that hold a value a person reads:
// not the manufacturer data behind DIF 0F / 1F, not the records without data.
QJsonArray valueRecords(const QString& frameFile)
{
    QFile f(corpusDir() + "/expected.jsonl");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        if (o.value("file").toString() != frameFile)
            continue;
        QJsonArray kept;
        for (const QJsonValue& r : o.value("records").toArray()) {
            const QString dib = r["dib"].toString();
            if (dib == "0F" || dib == "1F" || r["value"] == QJsonValue(QString()))
                continue;
            kept << r;
        }
        return kept;
    }
    return {};
}

// "2013-06-29T12:12:00Z" -> "29.06.2013 12:12", "2012-01-13" -> "13.01.2012".
QString germanDate(const QString& iso)
{
    const QString date = iso.mid(8, 2) + '.' + iso.mid(5, 2) + '.' + iso.left(4);
    return iso.size() > 10 ? date + ' ' + iso.mid(11, 5) : date;
}

} // namespace

TEST(ReadAllTelegrams, EveryCorpusRecordWithAValueGivesOnePairAndDatesAreText)
{
    KELVARO_REQUIRE_TESTDATA();
    if (corpusDir().isEmpty())
        GTEST_SKIP() << "telegram corpus not found";
    int files = 0, dates = 0;
    for (const QString& name : QDir(corpusDir() + "/frames").entryList({"*.hex"}, QDir::Files)) {
        mbus::MBusProvider provider;
        if (provider.APPInterpretTelegramHex(frameHex(name)) != 0)
            continue;
        const QJsonArray expected = valueRecords(name);
        const QStringList items = TelegramItems(provider);
        ASSERT_EQ(items.size(), 2 * expected.size()) << name.toStdString() << ": " << items.join('|').toStdString();
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QString value = expected[i]["value"].toString();
            const bool isDate = value.size() >= 10 && value[4] == '-' && value[7] == '-';
            if (!isDate)
                continue;
            // A zero date is the meter's "no date yet" and stays an empty
            // column; a date the decoder refuses is written as it says.
            if (value.mid(8, 2) == "00" || items[2 * i].startsWith("ungültig"))
                continue;
            ++dates;
            EXPECT_TRUE(items[2 * i].startsWith(germanDate(value)))
                << name.toStdString() << " record " << i + 1 << ": " << items[2 * i].toStdString();
            EXPECT_EQ(items[2 * i + 1].toStdString(), "") << "a point in time has no unit";
        }
        ++files;
    }
    EXPECT_GT(files, 60);
    EXPECT_GT(dates, 40);
}

TEST(ReadAllTelegrams, AnswerOverTwoTelegramsLinesUpWithEachTelegramAlone)
{
    KELVARO_REQUIRE_TESTDATA();
    if (corpusDir().isEmpty())
        GTEST_SKIP() << "telegram corpus not found";
    // Meter 1 answers the first REQ_UD2 with a telegram ending in DIF 1F
    // (manufacturer bytes behind it) and the second one with a telegram that
    // carries four dates and ends there; meter 3 sends only the second one.
    const QStringList meters{framesMeter(1, {"Elster-F2.hex", "abb_f95.hex"}), framesMeter(3, {"abb_f95.hex"})};
    mbus::MBusProvider decoder;
    ASSERT_EQ(decoder.APPInterpretTelegramHex(frameHex("Elster-F2.hex")), 0);
    const QStringList first = TelegramItems(decoder);
    const QStringList both = readLine(meters, 1);
    const QStringList second = readLine(meters, 3).mid(2);
    ASSERT_EQ(first.size(), 2 * 13) << "13 records with a value, not the 1F block";
    ASSERT_EQ(second.size(), 2 * 14);
    EXPECT_EQ(both.mid(2), first + second) << both.join('|').toStdString();
    EXPECT_EQ(first[2 * 10], "29.06.2013 12:12");
    EXPECT_EQ(second[2 * 7], "13.01.2012 16:34");
    EXPECT_EQ(second[2 * 12], "31.12.2011 23:59");
}

TEST(ReadAllTelegrams, ManufacturerBlockAddsNoFieldAndTheValuesBeforeItStay)
{
    // Volume, a date, then DIF 0F with manufacturer bytes.
    const QString meter = R"({"primary": 1, "id": "44556677", "baud": [9600], "medium": 7,
        "records": ["0413A0860100", "426C9F2C", "0F0102030405"]})";
    const QStringList line = readLine({meter}, 1);
    EXPECT_EQ(line.mid(2), QStringList({"100,000", "m³", "31.12.2020", ""})) << line.join('|').toStdString();
}

TEST(ReadAllTelegrams, TextOfAMeterStaysInItsField)
{
    // Volume, then a customer text "a<TAB>b<CR><LF>c" (sent last character first).
    const QString meter = R"({"primary": 1, "id": "44556677", "baud": [9600], "medium": 7,
        "records": ["0413A0860100", "0DFD1106630A0D620961"]})";
    const QStringList line = readLine({meter}, 1);
    ASSERT_EQ(line.size(), 2 + 4) << line.join('|').toStdString();
    EXPECT_EQ(line[4], "a b  c");
}
