#include "command.h"

#include "mbus/hexlist.h"
#include "mbus/provider.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace kelvaro;
using namespace kelvaro::mbus;

namespace {

QString hexByte(std::uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QJsonValue jsonValue(const Telegram& t, const DataRecord& r, Language language)
{
    if (r.type == ValueType::Number && r.info->kind != VifKind::BitField) {
        if (r.decimals == 0 && r.info->factor == 1 && r.value == static_cast<double>(r.raw))
            return QJsonValue(static_cast<qint64>(r.raw));
        return QJsonValue(r.value);
    }
    return DisplayValueText(t, r, language);
}

QJsonObject jsonRecord(const Telegram& t, const DataRecord& r, int index, Language language)
{
    const std::uint8_t* p = t.bytes.data();
    QString dif;
    for (int i = 0; i <= r.difeCount && r.offset + i < r.vibOffset; ++i)
        dif += hexByte(p[r.offset + i]);
    QString vif;
    QJsonArray vife;
    if (r.vibLength > 0) {
        vif = hexByte(p[r.vibOffset]);
        if (r.vif == 0xFB || r.vif == 0xFD)
            vif += hexByte(p[r.vibOffset + 1]);
        for (int i = 0; i < r.vifeCount; ++i)
            vife.append(hexByte(p[r.vibOffset + r.vifeStart + i]));
    }
    return QJsonObject{{"index", index},
                       {"text", MeasurementText(t, r, language)},
                       {"value", jsonValue(t, r, language)},
                       {"unit", UnitText(t, r)},
                       {"function", FunctionText(r.function(), language)},
                       {"storage", static_cast<qint64>(r.storage)},
                       {"tariff", static_cast<qint64>(r.tariff)},
                       {"subunit", r.subunit},
                       {"dif", dif},
                       {"vif", vif},
                       {"vife", vife}};
}

QJsonObject jsonHeader(const MBusProvider& provider, Language language)
{
    const Telegram& t = provider.telegram();
    QJsonObject h{{"c", t.c}, {"a", t.a}, {"ci", hexByte(t.ci)}};
    if (t.hasId) {
        h.insert("id", IdentificationText(t.idRaw));
        h.insert("medium", t.medium);
        h.insert("medium_text", MediumText(t.medium, language));
    }
    if (t.hasId && !t.fixedStructure) {
        h.insert("manufacturer", ManufacturerText(t.manufacturer));
        h.insert("version", t.version);
    }
    if (t.hasShortHeader) {
        h.insert("access_number", t.accessNumber);
        h.insert("status", t.status);
    }
    if (t.hasShortHeader && !t.fixedStructure)
        h.insert("signature", t.signature);
    return h;
}

void printPlain(const MBusProvider& provider, Language language)
{
    const Telegram& t = provider.telegram();
    if (t.applicationError) {
        CliOut((language == Language::German ? QStringLiteral("Anwendungsfehler %1: %2")
                                             : QStringLiteral("Application error %1: %2"))
                   .arg(t.applicationErrorCode)
                   .arg(ApplicationErrorText(t.applicationErrorCode, language)));
        return;
    }
    const bool de = language == Language::German;
    QString head = QStringLiteral("%1 %2  CI %3").arg(de ? "Adresse" : "Address").arg(t.a).arg(hexByte(t.ci));
    if (t.hasId)
        head += QStringLiteral("  ID %1").arg(IdentificationText(t.idRaw));
    if (t.hasId && !t.fixedStructure)
        head += QStringLiteral("  %1 %2  Version %3")
                    .arg(de ? "Hersteller" : "Manufacturer", ManufacturerText(t.manufacturer))
                    .arg(t.version);
    if (t.hasId)
        head += QStringLiteral("  Medium %1 (%2)").arg(t.medium).arg(MediumText(t.medium, language));
    if (t.hasShortHeader)
        head += QStringLiteral("  %1 %2  Status %3")
                    .arg(de ? "Zugriff" : "Access")
                    .arg(t.accessNumber)
                    .arg(hexByte(t.status));
    CliOut(head);
    int index = 0;
    for (const DataRecord& r : t.records) {
        ++index;
        QString line = QStringLiteral("%1  %2: %3").arg(index, 3).arg(MeasurementText(t, r, language),
                                                                     DisplayValueText(t, r, language));
        const QString unit = UnitText(t, r);
        if (!unit.isEmpty() && r.type == ValueType::Number)
            line += QLatin1Char(' ') + unit;
        CliOut(line);
    }
    if (t.moreRecordsFollow)
        CliOut(language == Language::German ? QStringLiteral("Weitere Datensätze folgen im nächsten Telegramm")
                                            : QStringLiteral("More records follow in the next telegram"));
}

int decode(const QStringList& args)
{
    bool json = false;
    Language language = Language::German;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--lang") && i + 1 < args.size()) {
            const QString l = args[++i];
            if (l != QLatin1String("de") && l != QLatin1String("en")) {
                CliErr(QStringLiteral("decode: --lang erwartet de oder en"));
                return 2;
            }
            language = l == QLatin1String("en") ? Language::English : Language::German;
        } else {
            rest << a;
        }
    }
    if (rest.isEmpty()) {
        CliErr(QStringLiteral("decode: Telegramm (Hex) oder Datei angeben"));
        return 2;
    }
    QString text = rest.join(QLatin1Char(' '));
    if (rest.size() == 1 && QFileInfo(rest[0]).isFile()) {
        QFile f(rest[0]);
        if (!f.open(QIODevice::ReadOnly)) {
            CliErr(QStringLiteral("decode: Datei nicht lesbar: ") + rest[0]);
            return 2;
        }
        text = QString::fromLatin1(f.readAll());
    }
    QByteArray bytes;
    QString error;
    if (!ParseHexBytes(text, bytes, &error)) {
        CliErr(QStringLiteral("decode: ") + error);
        return 1;
    }
    MBusProvider provider;
    provider.LNGLanguage = language == Language::German ? 1 : 0;
    if (provider.interpretFrame(bytes) != 0) {
        CliErr(QStringLiteral("decode: ") + provider.lastErrorText());
        return 1;
    }
    const Telegram& t = provider.telegram();
    if (json) {
        QJsonObject o{{"header", jsonHeader(provider, language)}};
        QJsonArray records;
        int index = 0;
        for (const DataRecord& r : t.records)
            records.append(jsonRecord(t, r, ++index, language));
        o.insert("records", records);
        o.insert("more_records_follow", t.moreRecordsFollow);
        if (t.applicationError)
            o.insert("application_error", QJsonObject{{"code", t.applicationErrorCode},
                                                      {"text", ApplicationErrorText(t.applicationErrorCode, language)}});
        CliOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    } else {
        printPlain(provider, language);
    }
    if (t.error != DecodeError::None) {
        CliErr(QStringLiteral("decode: ") + provider.lastErrorText());
        return 1;
    }
    return 0;
}

const CliRegistration reg("decode", "decode [--json] [--lang de|en] (HEXLIST | FILE)   decode an M-Bus telegram",
                          decode);

} // namespace
