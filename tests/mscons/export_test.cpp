#include "data/testdatabase.h"
#include "edifactreader.h"
#include "programrun.h"

#include "foundation/timeutil.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>

namespace kelvaro::test {
namespace {

const QString kSender = QStringLiteral("9912345678901");
const QString kFirst = QStringLiteral("9900000000001");
const QString kSecond = QStringLiteral("99?00'0002"); // service characters in an id

// kelvaro-cli in the installation directory; `shell` wraps it (ulimit).
ProgramRun cli(const QStringList& args, const QString& shell = {})
{
    const QString program = ProgramPath("kelvaro-cli");
    const ProgramRun run = shell.isEmpty()
        ? RunExecutable(program, args, 60000)
        : RunExecutable(QStringLiteral("bash"),
                        QStringList{"-c", shell + QStringLiteral(" exec \"$0\" \"$@\""), program} + args, 60000);
    EXPECT_TRUE(run.finished);
    return run;
}

qint64 at(const char* text) { return DateToSeconds(QString::fromLatin1(text)); }

// A reading time as the receiver gets it: Berlin in winter is UTC + 1.
QString utcOfWinterTime(qint64 local)
{
    return SecondsToDate(local - 3600).toString(QStringLiteral("yyyyMMddHHmm")) + QStringLiteral("+00");
}

class MsconsExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        Mandant = QStringLiteral("200");
        DBPATH = QStringLiteral(".\\DB200\\");
        db_ = std::make_unique<ClientDatabase>(Engine::SQLite);
        ASSERT_TRUE(db_->ready());
        ASSERT_TRUE(db_->openInto(c_));
        ASSERT_TRUE(QDir().mkpath(dir_.file("Z200")));
        writeIni(QStringLiteral("Empfaenger=%1;%2\r\n").arg(kFirst, kSecond));
    }
    void writeIni(const QString& receivers)
    {
        dir_.write("OVX.INI", ("[OVX]\r\nOVXMandant=200\r\n[MSCONS200]\r\nAbsender=" + kSender + "\r\n" + receivers
                               + "Zeitzone=Europe/Berlin\r\n")
                                  .toLatin1());
    }
    void meter(qint64 lznr, const QVariant& location, const QList<QPair<int, QString>>& indexes)
    {
        ASSERT_TRUE(c_.exec("INSERT INTO zaehler (LZNR, ZNr, ZQuelle, MSCONS_Lokation) VALUES (?, ?, 'M-Bus', ?)",
                            {lznr, QString::number(lznr * 11), location}));
        for (const auto& [index, text] : indexes)
            ASSERT_TRUE(c_.exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, ?, ?)", {lznr, index, text}));
    }
    void store(qint64 lznr, int index, qint64 time, double value)
    {
        QString file;
        ASSERT_EQ(RB6Append(QStringLiteral(".\\"), lznr, time, value, index, file), 0);
    }
    QStringList interchanges(const QString& folder = QStringLiteral("MSCONS")) const
    {
        QStringList files;
        for (const QString& name : QDir(dir_.file(folder)).entryList(QDir::Files, QDir::Name))
            files << dir_.file(folder + '/' + name);
        return files;
    }

    InstallationDir dir_;
    std::unique_ptr<ClientDatabase> db_;
    SqlConnection c_{"kelvaro.test.mscons"};
};

// The values of an interchange by location and OBIS code: (value text, time).
using ReadValues = QMap<QString, QMap<QString, QList<QPair<QString, QString>>>>;

ReadValues valuesOf(const QList<ReadSegment>& seg)
{
    ReadValues values;
    QString location, obis;
    for (qsizetype k = 0; k < seg.size(); ++k) {
        if (seg[k].tag == "LOC")
            location = seg[k].at(1);
        else if (seg[k].tag == "PIA")
            obis = seg[k].at(1);
        else if (seg[k].tag == "QTY" && k + 1 < seg.size() && seg[k + 1].tag == "DTM") {
            EXPECT_EQ(seg[k].at(0), "220");
            EXPECT_EQ(seg[k + 1].at(0), "7");
            values[location][obis].append({seg[k].at(0, 1), seg[k + 1].at(0, 1)});
        }
    }
    return values;
}

// Envelope, counts and references as the reader sees them; the reference.
QString checkFrame(const QList<ReadSegment>& seg, const QString& receiver)
{
    EXPECT_GE(seg.size(), 10);
    if (seg.size() < 10)
        return {};
    EXPECT_EQ(seg.first().tag, "UNB");
    EXPECT_EQ(seg.first().at(0), "UNOC");
    EXPECT_EQ(seg.first().at(1), kSender);
    EXPECT_EQ(seg.first().at(2), receiver);
    const QString reference = seg.first().at(4);
    const ReadSegment& unt = seg[seg.size() - 2];
    EXPECT_EQ(seg[1].tag, "UNH");
    EXPECT_EQ(seg[1].at(0), reference);
    EXPECT_EQ(unt.tag, "UNT");
    EXPECT_EQ(unt.at(0).toInt(), seg.size() - 2);
    EXPECT_EQ(unt.at(1), reference);
    EXPECT_EQ(seg.last().tag, "UNZ");
    EXPECT_EQ(seg.last().at(0), "1");
    EXPECT_EQ(seg.last().at(1), reference);
    const auto nad = std::find_if(seg.begin(), seg.end(), [](const ReadSegment& s) { return s.at(0) == "MR"; });
    EXPECT_TRUE(nad != seg.end() && nad->at(1) == receiver);
    return reference;
}

TEST_F(MsconsExport, EachReceiverGetsTheStoredReadingAtTheEndOfEachDay)
{
    const QString point = QStringLiteral("DE0001234567890123456789012345678");
    meter(1, point, {{1, "1-1:1.8.0 Bezug"}, {2, "1-1:2.8.0"}, {3, "Vorlauftemperatur"}});
    meter(2, "51238696781", {{1, "1-0:1.8.0*255"}});
    meter(3, QVariant(), {{1, "1-1:1.8.0"}}); // no location
    // Meter 1 index 1: several readings a day; the one at midnight closes the day before.
    store(1, 1, at("06.12.2026 23:50"), 99);
    store(1, 1, at("07.12.2026 08:00"), 100.25);
    store(1, 1, at("07.12.2026 23:59:59"), 101.5);
    store(1, 1, at("08.12.2026 00:00"), 102.0000001);
    store(1, 1, at("08.12.2026 00:00:01"), 103);
    store(1, 1, at("09.12.2026 12:00"), 0.1 + 0.2);
    store(1, 1, at("10.12.2026 00:00:01"), 104); // after the range
    // Meter 1 index 2: nothing on 08.12.
    store(1, 2, at("07.12.2026 22:00"), -12.5);
    store(1, 2, at("09.12.2026 22:00"), 123456789012.125);
    store(2, 1, at("09.12.2026 00:00"), 1e-7);
    store(3, 1, at("09.12.2026 00:00"), 5);

    const ProgramRun run = cli({"mscons", "-M200", "--from", "07.12.2026", "--to", "09.12.2026", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    const QJsonObject report = run.outJson();
    EXPECT_EQ(report["readings"].toInt(), 6);
    const QString warnings = run.outText();
    EXPECT_TRUE(warnings.contains("Vorlauftemperatur")) << warnings.toStdString();
    EXPECT_TRUE(warnings.contains("Zähler 3 (33): keine MSCONS_Lokation")) << warnings.toStdString();
    const QJsonArray skipped = report["skippedDays"].toArray();
    ASSERT_EQ(skipped.size(), 3); // 08.12. of meter 1 index 2, 07. and 08.12. of meter 2
    EXPECT_EQ(skipped[0].toObject()["day"].toString(), "08.12.2026");
    EXPECT_EQ(skipped[0].toObject()["index"].toInt(), 2);

    const QStringList files = interchanges();
    ASSERT_EQ(files.size(), 2);
    QStringList references;
    for (const QString& receiver : {kFirst, kSecond}) {
        SCOPED_TRACE(receiver.toStdString());
        const auto file = std::find_if(files.begin(), files.end(), [&](const QString& f) {
            return f.contains(QString(receiver).replace('?', '_').replace('\'', '_'));
        });
        ASSERT_TRUE(file != files.end());
        const QList<ReadSegment> seg = ReadInterchange(*file);
        references << checkFrame(seg, receiver);
        const ReadValues values = valuesOf(seg);
        EXPECT_EQ(values.keys(), (QStringList{"51238696781", point}));
        const QList<QPair<QString, QString>> bezug{{"102.0000001", utcOfWinterTime(at("08.12.2026 00:00"))},
                                                    {"103", utcOfWinterTime(at("08.12.2026 00:00:01"))},
                                                    {"0.30000000000000004", utcOfWinterTime(at("09.12.2026 12:00"))}};
        EXPECT_EQ(values[point]["1-1:1.8.0"], bezug);
        EXPECT_EQ(values[point]["1-1:2.8.0"].size(), 2);
        EXPECT_EQ(values[point]["1-1:2.8.0"].value(1).first, "123456789012.125");
        EXPECT_EQ(values["51238696781"]["1-0:1.8.0*255"],
                  (QList<QPair<QString, QString>>{{"0.0000001", "202612082300+00"}}));
        // Every value reads back as the stored double.
        EXPECT_EQ(values[point]["1-1:2.8.0"].value(0).first.toDouble(), -12.5);
    }
    EXPECT_NE(references[0], references[1]);
}

TEST_F(MsconsExport, ReferencesAreNeverUsedTwiceEvenByRunsAtTheSameTime)
{
    meter(1, "DE1", {{1, "1-1:1.8.0"}});
    store(1, 1, at("07.12.2026 12:00"), 1);
    const QStringList args{"mscons", "--from", "07.12.2026", "--to", "07.12.2026"};
    ASSERT_EQ(cli(args).exitCode, 0);
    const QString program = ProgramPath("kelvaro-cli");
    QProcess a, b;
    a.start(program, args);
    b.start(program, args);
    ASSERT_TRUE(a.waitForFinished(60000) && b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    QSet<QString> references;
    for (const QString& file : interchanges())
        references.insert(ReadInterchange(file).value(0).at(4));
    EXPECT_EQ(references.size(), 6);
    EXPECT_EQ(interchanges().size(), 6);

    // A counter that holds no number is not started afresh.
    dir_.write("DB200/MSCONS-Referenz-M200.txt", "kaputt");
    const ProgramRun broken = cli(args);
    EXPECT_EQ(broken.exitCode, 5);
    EXPECT_TRUE(broken.err.contains("keine Zahl")) << broken.err.toStdString();
    EXPECT_EQ(interchanges().size(), 6);
}

TEST_F(MsconsExport, NothingToSendWritesNothingAndUsesNoReference)
{
    meter(1, "DE1", {{1, "1-1:1.8.0"}});
    store(1, 1, at("01.12.2026 12:00"), 1);
    const ProgramRun run = cli({"mscons", "--from", "07.12.2026", "--to", "08.12.2026", "--out", "aus"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Übersprungen: Zähler 1 Index 1 am 08.12.2026")) << run.err.toStdString();
    EXPECT_TRUE(interchanges("aus").isEmpty());
    EXPECT_FALSE(QFile::exists(dir_.file("DB200/MSCONS-Referenz-M200.txt")));

    writeIni(QString()); // no receiver
    EXPECT_EQ(cli({"mscons", "--from", "07.12.2026", "--to", "08.12.2026"}).exitCode, 3);
}

TEST_F(MsconsExport, AFullDiskLeavesNoPartialFileUnderTheFinalName)
{
    meter(1, "DE1", {{1, "1-1:1.8.0"}, {2, "1-1:2.8.0"}});
    for (int day = 1; day <= 30; ++day) {
        store(1, 1, at("01.11.2026 12:00") + (day - 1) * 86400, day * 1000.125);
        store(1, 2, at("01.11.2026 12:00") + (day - 1) * 86400, day * 2000.125);
    }
    ASSERT_TRUE(QDir().mkpath(dir_.file("aus")));
    // Files of at most 1 KiB; the interchange is larger. Without the signal
    // ignored the kernel would end the program before it sees the error.
    const ProgramRun run = cli({"mscons", "--from", "01.11.2026", "--to", "30.11.2026", "--out", "aus"},
                        QStringLiteral("ulimit -f 1; trap '' XFSZ;"));
    EXPECT_EQ(run.exitCode, 5) << run.err.toStdString() << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("nicht geschrieben")) << run.err.toStdString();
    EXPECT_EQ(QDir(dir_.file("aus")).entryList(QDir::Files | QDir::Hidden), QStringList{});

    // With room the same run succeeds and the reader takes the file.
    const ProgramRun again = cli({"mscons", "--from", "01.11.2026", "--to", "30.11.2026", "--out", "aus"});
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    ASSERT_EQ(interchanges("aus").size(), 2);
    const QList<ReadSegment> seg = ReadInterchange(interchanges("aus").first());
    EXPECT_EQ(valuesOf(seg)["DE1"]["1-1:2.8.0"].size(), 30);
}

} // namespace
} // namespace kelvaro::test
