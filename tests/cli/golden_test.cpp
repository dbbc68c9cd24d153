#include "programrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using kelvaro::test::ProgramPath;
using kelvaro::test::ProgramRun;
using kelvaro::test::RunCli;

// Every tests/cli/golden/<name>.hex is decoded by `kelvaro-cli decode --json`
// and compared, as parsed JSON, with <name>.expected.json. The exit code
// follows from the expected JSON: its "error" code, else 0. With
// KELVARO_UPDATE_GOLDEN=1 the expected files are written from the current
// output instead (tests/cli/README.md).

namespace {

QString goldenDir() { return QStringLiteral(KELVARO_SOURCE_DIR "/tests/cli/golden"); }

bool updating() { return qEnvironmentVariable("KELVARO_UPDATE_GOLDEN") == QLatin1String("1"); }

QString expectedFileFor(const QString& hexFile)
{
    return hexFile.chopped(4) + QStringLiteral(".expected.json");
}

QString valueText(const QJsonValue& v)
{
    if (v.isObject())
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// Where `actual` differs from `expected`, one line per difference ("records[3].value: ...").
void collectDifferences(const QString& path, const QJsonValue& expected, const QJsonValue& actual, QStringList& out)
{
    if (expected.type() != actual.type()) {
        out << path + QStringLiteral(": expected ") + valueText(expected) + QStringLiteral(", got ") + valueText(actual);
        return;
    }
    if (expected.isObject()) {
        const QJsonObject e = expected.toObject(), a = actual.toObject();
        QStringList keys = e.keys() + a.keys();
        keys.removeDuplicates();
        for (const QString& key : keys) {
            const QString at = path.isEmpty() ? key : path + '.' + key;
            if (!a.contains(key))
                out << at + QStringLiteral(": missing");
            else if (!e.contains(key))
                out << at + QStringLiteral(": not expected, got ") + valueText(a.value(key));
            else
                collectDifferences(at, e.value(key), a.value(key), out);
        }
    } else if (expected.isArray()) {
        const QJsonArray e = expected.toArray(), a = actual.toArray();
        if (e.size() != a.size())
            out << path + QStringLiteral(": %1 entries expected, got %2").arg(e.size()).arg(a.size());
        for (qsizetype i = 0; i < std::min(e.size(), a.size()); ++i)
            collectDifferences(path + QStringLiteral("[%1]").arg(i), e[i], a[i], out);
    } else if (expected.isDouble() ? expected.toDouble() != actual.toDouble() : expected != actual) {
        out << path + QStringLiteral(": expected ") + valueText(expected) + QStringLiteral(", got ") + valueText(actual);
    }
}

bool writeExpected(const QString& file, const QJsonObject& o)
{
    QFile f(file);
    const QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Indented);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size() && f.flush();
}

} // namespace

TEST(CliGolden, EveryTelegramDecodesToItsExpectedJson)
{
    if (!QFileInfo::exists(ProgramPath("kelvaro-cli")))
        GTEST_SKIP() << "kelvaro-cli not built";
    const QDir dir(goldenDir());
    const QStringList telegrams = dir.entryList({"*.hex"}, QDir::Files, QDir::Name);
    ASSERT_GE(telegrams.size(), 20) << "golden telegrams not found in " << goldenDir().toStdString();
    int updated = 0;
    for (const QString& name : telegrams) {
        SCOPED_TRACE(name.toStdString());
        const QString expectedFile = dir.filePath(expectedFileFor(name));
        const ProgramRun run = RunCli({"decode", "--json", dir.filePath(name)});
        ASSERT_TRUE(run.finished);
        QJsonParseError parseError;
        const QJsonDocument actual = QJsonDocument::fromJson(run.out, &parseError);
        ASSERT_TRUE(parseError.error == QJsonParseError::NoError && actual.isObject())
            << "not one JSON object: " << run.outText().toStdString() << run.errText().toStdString();
        if (updating()) {
            ASSERT_TRUE(writeExpected(expectedFile, actual.object())) << expectedFile.toStdString();
            ++updated;
            continue;
        }
        QFile f(expectedFile);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "missing " << expectedFile.toStdString()
                                                 << " (KELVARO_UPDATE_GOLDEN=1 writes it)";
        const QJsonDocument expected = QJsonDocument::fromJson(f.readAll(), &parseError);
        ASSERT_EQ(parseError.error, QJsonParseError::NoError) << parseError.errorString().toStdString();
        QStringList differences;
        collectDifferences({}, expected.object(), actual.object(), differences);
        EXPECT_TRUE(differences.isEmpty()) << differences.join('\n').toStdString();
        const int code = expected.object().value("error").toObject().value("code").toInt(0);
        EXPECT_EQ(run.exitCode, code) << run.errText().toStdString();
        EXPECT_EQ(run.err.isEmpty(), code == 0) << "a failure, and only a failure, writes to standard error";
    }
    if (updating())
        std::printf("wrote %d expected files in %s\n", updated, qPrintable(goldenDir()));
}

TEST(CliGolden, EveryExpectedFileHasItsTelegram)
{
    const QDir dir(goldenDir());
    for (const QString& expected : dir.entryList({"*.expected.json"}, QDir::Files))
        EXPECT_TRUE(dir.exists(expected.chopped(int(sizeof(".expected.json")) - 1) + ".hex")) << expected.toStdString();
}
