// The decoder against the shared telegram corpus and its reference output:
// value, unit, quantity, function, storage, tariff and subunit of every record.
// Every record that disagrees with the reference must be listed, with its
// reason, in corpus_disagreements.md beside this file.
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/recordtext.h"
#include "mbus/telegram.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

using namespace kelvaro;
using namespace kelvaro::mbus;

namespace {

QString corpusDir()
{
    const QString base = kelvaro::test::TestDataDir();
    const QString dir = base + QStringLiteral("/mbus-telegrams");
    return !base.isEmpty() && QDir(dir).exists() ? dir : QString();
}

QByteArray readFrame(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes;
    ParseHexBytes(QString::fromLatin1(f.readAll()), bytes);
    return bytes;
}

bool decodeFile(const QString& path, Telegram& t)
{
    const QByteArray bytes = readFrame(path);
    return DecodeTelegram(ByteSpan(bytes), t);
}

// The reference's quantity names for ours where they differ.
QString referenceQuantity(const Telegram& t, const DataRecord& r)
{
    if (r.info == &ManufacturerDataInfo())
        return {};
    if (r.info->kind == VifKind::Text)
        return MeasurementText(t, r, Language::English).section(QStringLiteral(" ("), 0, 0).section(QStringLiteral(", "), 0, 0);
    static const QHash<QString, QString> names{
        {"Fabrication number", "Fabrication No"},
        {"Identification", "(Enhanced) Identification"},
        {"Date", "Time point (date)"},
        {"Date and time", "Time point (date & time)"},
        {"Units for H.C.A.", "H.C.A."},
        {"Averaging duration", "Averaging Duration"},
        {"Actuality duration", "Actuality Duration"},
        {"Digital input", "Digital Input"},
        {"Digital output", "Digital Output"},
    };
    const QString ours = QString::fromUtf8(r.info->english);
    return names.value(ours, ours);
}

// Our value in the reference's (base) unit.
double referenceScale(const QString& ourUnit, const QString& refUnit)
{
    static const QHash<QString, double> toBase{
        {"kWh", 1e3}, {"MWh", 1e6}, {"MJ", 1e6}, {"GJ", 1e9}, {"kW", 1e3}, {"MW", 1e6}, {"MJ/h", 1e6},
        {"GJ/h", 1e9}, {"t", 1e3}, {"min", 60}, {"h", 3600}, {"d", 86400},
    };
    if (refUnit == QLatin1String("l") || refUnit == QLatin1String("kWh") || refUnit.startsWith(QLatin1String("reserved")))
        return 1; // fixed structure: the reference keeps the meter's unit
    if (ourUnit == QStringLiteral("m³/h") && refUnit == QLatin1String("m^3/min"))
        return 1.0 / 60;
    if (ourUnit == QStringLiteral("m³/h") && refUnit == QLatin1String("m^3/s"))
        return 1.0 / 3600;
    return toBase.value(ourUnit, 1);
}

QString isoDate(const DataRecord& r)
{
    const QString d = QStringLiteral("%1-%2-%3")
                          .arg(r.date.year, 4, 10, QLatin1Char('0'))
                          .arg(r.date.month, 2, 10, QLatin1Char('0'))
                          .arg(r.date.day, 2, 10, QLatin1Char('0'));
    if (r.type == ValueType::Date)
        return d;
    return d + QStringLiteral("T%1:%2:%3Z")
                   .arg(r.date.hour, 2, 10, QLatin1Char('0'))
                   .arg(r.date.minute, 2, 10, QLatin1Char('0'))
                   .arg(r.date.second, 2, 10, QLatin1Char('0'));
}

QString normalizedHex(QString s)
{
    return s.remove(QLatin1Char(' ')).toUpper();
}

// Why a record disagrees, empty when it agrees.
QString compareRecord(const Telegram& t, const DataRecord& r, const QJsonObject& ref)
{
    const QJsonValue refValue = ref.value("value");
    if (ref.value("quantity").isNull() && ref.value("unit").isNull() && refValue.isNull())
        return QStringLiteral("reference has no value");
    if (!ref.value("storage").isNull() && !t.fixedStructure
        && (ref.value("storage").toInteger() != qint64(r.storage) || ref.value("tariff").toInteger() != r.tariff
            || ref.value("device").toInteger() != r.subunit))
        return QStringLiteral("storage/tariff/subunit %1/%2/%3 vs %4/%5/%6")
            .arg(r.storage)
            .arg(r.tariff)
            .arg(r.subunit)
            .arg(ref.value("storage").toInteger())
            .arg(ref.value("tariff").toInteger())
            .arg(ref.value("device").toInteger());
    const QString function = ref.value("function").toString();
    if (!t.fixedStructure && !function.isEmpty() && RecordFunctionText(r, Language::English) != function)
        return QStringLiteral("function %1 vs %2").arg(RecordFunctionText(r, Language::English), function);
    if (!ref.value("quantity").isNull() && referenceQuantity(t, r) != ref.value("quantity").toString())
        return QStringLiteral("quantity %1 vs %2").arg(referenceQuantity(t, r), ref.value("quantity").toString());

    if (refValue.isDouble()) {
        if (r.type != ValueType::Number)
            return QStringLiteral("ours is not a number: %1").arg(DisplayValueText(t, r, Language::English));
        const double ours = r.value * referenceScale(UnitText(t, r).section('/', 0, 0) == UnitText(t, r)
                                                         ? UnitText(t, r)
                                                         : QString::fromUtf8(r.info->unit),
                                                     ref.value("unit").toString());
        const double theirs = refValue.toDouble();
        // A 32-bit real: ours holds the shortest decimal that reads back as the
        // meter's real, the reference its binary expansion; they differ by up to
        // half a unit in the real's last place (2^-24 of the value).
        const double relative = r.dataField() == 0x05 ? 6e-8 : 1e-9;
        const double tolerance = std::max(5e-7, std::fabs(theirs) * relative);
        if (std::fabs(ours - theirs) > tolerance)
            return QStringLiteral("value %1 vs %2").arg(ours, 0, 'g', 15).arg(theirs, 0, 'g', 15);
        return {};
    }
    const QString s = refValue.toString();
    if (s.isEmpty())
        return r.type == ValueType::None || r.type == ValueType::Empty || r.dataLength == 0
                   ? QString()
                   : QStringLiteral("ours has a value: %1").arg(DisplayValueText(t, r, Language::English));
    static const QRegularExpression dateLike(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}(T\d{2}:\d{2}:\d{2}Z)?$)"));
    if (dateLike.match(s).hasMatch()) {
        if (r.type != ValueType::Date && r.type != ValueType::DateTime)
            return QStringLiteral("date %1 vs ours %2").arg(s, DisplayValueText(t, r, Language::English));
        return isoDate(r) == s ? QString() : QStringLiteral("date %1 vs %2").arg(isoDate(r), s);
    }
    if (r.type == ValueType::Text)
        return RecordText(t, r) == s ? QString() : QStringLiteral("text '%1' vs '%2'").arg(RecordText(t, r), s);
    if (r.type == ValueType::Hex) {
        // The reference prints hex dumps last byte first; ours are the shown bytes.
        const QString ours = normalizedHex(DisplayValueText(t, r, Language::English));
        QString reversed;
        for (qsizetype i = ours.size() - 2; i >= 0; i -= 2)
            reversed += ours.mid(i, 2);
        const QString theirs = normalizedHex(s);
        return reversed == theirs ? QString() : QStringLiteral("hex %1 vs %2").arg(reversed, theirs);
    }
    return QStringLiteral("'%1' vs ours %2").arg(s, DisplayValueText(t, r, Language::English));
}

// Our unit as the reference spells it: base units, ASCII powers.
QString referenceUnitSpelling(const QString& ours)
{
    static const QHash<QString, QString> spelling{
        {"kWh", "Wh"}, {"MWh", "Wh"}, {"MJ", "J"}, {"GJ", "J"}, {"kW", "W"}, {"MW", "W"},
        {"MJ/h", "J/h"}, {"GJ/h", "J/h"}, {"m³", "m^3"}, {"m³/h", "m^3/h"}, {"m³/min", "m^3/min"},
        {"m³/s", "m^3/s"}, {"t", "kg"}, {"t/h", "kg/h"}, {"min", "s"}, {"h", "s"}, {"d", "s"},
    };
    return spelling.value(ours, ours);
}

// "ours vs theirs" where the units differ, empty where they agree. The
// reference writes "-" for the unit of dates and of a unit that the meter
// sends as text (we show that text as the unit).
QString unitDifference(const Telegram& t, const DataRecord& r, const QJsonObject& ref)
{
    const QJsonValue refUnit = ref.value("unit");
    if (refUnit.isNull() || refUnit.isUndefined())
        return {};
    const QString theirs = refUnit.toString();
    const QString ours = UnitText(t, r);
    if (theirs == QLatin1String("-")
        && (r.info->kind == VifKind::Text || r.type == ValueType::Date || r.type == ValueType::DateTime
            || r.timePoint))
        return {};
    if (ours == theirs || referenceUnitSpelling(ours) == theirs)
        return {};
    return QStringLiteral("%1 vs %2").arg(ours.isEmpty() ? QStringLiteral("none") : ours,
                                          theirs.isEmpty() ? QStringLiteral("none") : theirs);
}

// The unit differences that corpus_disagreements.md lists, as "file #n unit ours vs theirs".
QSet<QString> listedUnitDifferences()
{
    QFile f(QStringLiteral(KELVARO_SOURCE_DIR "/tests/mbus/corpus_disagreements.md"));
    QSet<QString> keys;
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    static const QRegularExpression entry(QStringLiteral(R"(`([^`]+\.hex #\d+ unit [^`]* vs [^`]*)`)"));
    auto it = entry.globalMatch(QString::fromUtf8(f.readAll()));
    while (it.hasNext())
        keys.insert(it.next().captured(1));
    return keys;
}

QSet<QString> listedDisagreements()
{
    QFile f(QStringLiteral(KELVARO_SOURCE_DIR "/tests/mbus/corpus_disagreements.md"));
    QSet<QString> keys;
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    static const QRegularExpression entry(QStringLiteral(R"(`([^`]+\.hex) #(\d+)`)"));
    auto it = entry.globalMatch(QString::fromUtf8(f.readAll()));
    while (it.hasNext()) {
        const auto m = it.next();
        keys.insert(m.captured(1) + QStringLiteral(" #") + m.captured(2));
    }
    return keys;
}

} // namespace

TEST(MBusCorpus, RecordsAgreeWithReference)
{
    const QString dir = corpusDir();
    if (dir.isEmpty())
        GTEST_SKIP() << "telegram corpus not found beside the project";
    QFile expected(dir + QStringLiteral("/expected.jsonl"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));

    int total = 0;
    int agreeing = 0;
    int frames = 0;
    QStringList disagreements;
    const QSet<QString> listed = listedDisagreements();
    QStringList unexplained;
    QSet<QString> unitDifferences;
    Telegram t;
    for (const QByteArray& line : expected.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString file = o.value("file").toString();
        ++frames;
        ASSERT_TRUE(decodeFile(dir + QStringLiteral("/frames/") + file, t)) << file.toStdString();
        EXPECT_EQ(t.error, DecodeError::None) << file.toStdString();
        EXPECT_EQ(t.moreRecordsFollow, o.value("more_records_follow").toBool()) << file.toStdString();
        const QJsonObject h = o.value("header").toObject();
        EXPECT_EQ(IdentificationText(t.idRaw).toInt(), h.value("id").toString().toInt()) << file.toStdString();
        EXPECT_EQ(t.accessNumber, h.value("access_number").toInt()) << file.toStdString();
        char letters[3];
        // A code that is no three letters is shown as its hex word; the reference prints "@@@".
        if (!h.value("manufacturer").isNull() && ManufacturerLetters(t.manufacturer, letters)) {
            EXPECT_EQ(ManufacturerText(t.manufacturer), h.value("manufacturer").toString()) << file.toStdString();
        }

        const QJsonArray refs = o.value("records").toArray();
        const qsizetype n = std::max<qsizetype>(refs.size(), static_cast<qsizetype>(t.records.size()));
        for (qsizetype i = 0; i < n; ++i) {
            ++total;
            QString why;
            if (i >= refs.size())
                why = QStringLiteral("record not in the reference");
            else if (i >= static_cast<qsizetype>(t.records.size()))
                why = QStringLiteral("record missing");
            else {
                const DataRecord& r = t.records[std::size_t(i)];
                why = compareRecord(t, r, refs[i].toObject());
                const QString unit = unitDifference(t, r, refs[i].toObject());
                if (!unit.isEmpty())
                    unitDifferences.insert(file + QStringLiteral(" #") + QString::number(i + 1)
                                           + QStringLiteral(" unit ") + unit);
            }
            if (why.isEmpty()) {
                ++agreeing;
                continue;
            }
            const QString key = file + QStringLiteral(" #") + QString::number(i + 1);
            disagreements << key + QStringLiteral(": ") + why;
            if (!listed.contains(key))
                unexplained << key + QStringLiteral(": ") + why;
        }
    }
    EXPECT_EQ(frames, 76);
    const double share = total ? double(agreeing) / total : 0;
    std::printf("corpus: %d of %d records agree (%.2f %%), %d disagree\n", agreeing, total, share * 100,
                total - agreeing);
    EXPECT_GE(share, 0.97);
    EXPECT_TRUE(unexplained.isEmpty()) << "disagreements not explained in corpus_disagreements.md:\n"
                                       << unexplained.join('\n').toStdString();
    // Exactly the listed unit differences: a new one is a regression, a listed
    // one that is gone must leave the list.
    const QSet<QString> listedUnits = listedUnitDifferences();
    QStringList unlistedUnits = (unitDifferences - listedUnits).values();
    QStringList vanishedUnits = (listedUnits - unitDifferences).values();
    unlistedUnits.sort();
    vanishedUnits.sort();
    EXPECT_TRUE(unlistedUnits.isEmpty()) << "unit differences not listed in corpus_disagreements.md:\n"
                                         << unlistedUnits.join('\n').toStdString();
    EXPECT_TRUE(vanishedUnits.isEmpty()) << "listed unit differences that the decoder no longer shows:\n"
                                         << vanishedUnits.join('\n').toStdString();
    if (!unexplained.isEmpty() || std::getenv("KELVARO_CORPUS_VERBOSE"))
        std::printf("%s\n", disagreements.join('\n').toUtf8().constData());
}

TEST(MBusCorpus, BadFramesAreRejectedOrTolerated)
{
    const QString dir = corpusDir();
    if (dir.isEmpty())
        GTEST_SKIP() << "telegram corpus not found beside the project";
    QFile expected(dir + QStringLiteral("/bad-frames.jsonl"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    int files = 0;
    Telegram t;
    for (const QByteArray& line : expected.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const std::string file = o.value("file").toString().toStdString();
        const QString expect = o.value("expect").toString();
        ++files;
        const bool decoded = decodeFile(dir + QStringLiteral("/bad-frames/") + o.value("file").toString(), t);
        if (expect.startsWith(QLatin1String("accept as application error report"))) {
            ASSERT_TRUE(decoded) << file;
            EXPECT_TRUE(t.applicationError) << file;
            EXPECT_TRUE(t.records.empty()) << file;
            const int code = QRegularExpression(QStringLiteral("code (\\d+)")).match(expect).captured(1).toInt();
            EXPECT_EQ(t.applicationErrorCode, code) << file;
        } else if (expect.startsWith(QLatin1String("reject, or keep earlier records"))
                   || expect.startsWith(QLatin1String("reject or flag"))) {
            EXPECT_TRUE(!decoded || IsRecordError(t.error)) << file;
            if (decoded) {
                ASSERT_FALSE(t.records.empty()) << file;
                EXPECT_EQ(t.records.back().info, &UndecodableInfo()) << file;
            }
        } else if (expect.startsWith(QLatin1String("tolerate"))) {
            ASSERT_TRUE(decoded) << file;
            EXPECT_TRUE(t.moreRecordsFollow) << file;
        } else {
            EXPECT_FALSE(decoded) << file << ": " << expect.toStdString();
        }
    }
    EXPECT_EQ(files, 27);
}
