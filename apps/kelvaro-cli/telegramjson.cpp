#include "telegramjson.h"

#include <QJsonArray>

using namespace kelvaro;
using namespace kelvaro::mbus;

QString HexByte(std::uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

namespace {

QJsonValue jsonValue(const Telegram& t, const DataRecord& r, Language language)
{
    if (r.type == ValueType::Number && r.info->kind != VifKind::BitField) {
        if (r.decimals == 0 && r.info->factor == 1 && r.value == static_cast<double>(r.raw))
            return QJsonValue(static_cast<qint64>(r.raw));
        return QJsonValue(r.value);
    }
    return DisplayValueText(t, r, language);
}

} // namespace

QJsonObject TelegramRecordJson(const Telegram& t, const DataRecord& r, int index, Language language)
{
    const std::uint8_t* p = t.bytes.data();
    QString dif;
    for (int i = 0; i <= r.difeCount && r.offset + i < r.vibOffset; ++i)
        dif += HexByte(p[r.offset + i]);
    QString vif;
    QJsonArray vife;
    if (r.vibLength > 0) {
        vif = HexByte(p[r.vibOffset]);
        if (r.vif == 0xFB || r.vif == 0xFD)
            vif += HexByte(p[r.vibOffset + 1]);
        for (int i = 0; i < r.vifeCount; ++i)
            vife.append(HexByte(p[r.vibOffset + r.vifeStart + i]));
    }
    return QJsonObject{{"index", index},
                       {"text", MeasurementText(t, r, language)},
                       {"value", jsonValue(t, r, language)},
                       {"unit", UnitText(t, r)},
                       {"function", RecordFunctionText(r, language)},
                       {"storage", static_cast<qint64>(r.storage)},
                       {"tariff", static_cast<qint64>(r.tariff)},
                       {"subunit", r.subunit},
                       {"dif", dif},
                       {"vif", vif},
                       {"vife", vife}};
}

QJsonObject TelegramHeaderJson(const MBusProvider& provider, Language language)
{
    const Telegram& t = provider.telegram();
    QJsonObject h{{"c", t.c}, {"a", t.a}, {"ci", HexByte(t.ci)}};
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


QJsonObject DecodedTelegramJson(const MBusProvider& provider)
{
    const Language language = provider.LNGLanguage == 0 ? Language::English : Language::German;
    const Telegram& t = provider.telegram();
    QJsonObject o{{"header", TelegramHeaderJson(provider, language)}};
    QJsonArray records;
    int index = 0;
    for (const DataRecord& r : t.records)
        records << TelegramRecordJson(t, r, ++index, language);
    o.insert("records", records);
    o.insert("more_records_follow", t.moreRecordsFollow);
    if (t.applicationError)
        o.insert("application_error", QJsonObject{{"code", t.applicationErrorCode},
                                                  {"text", ApplicationErrorText(t.applicationErrorCode, language)}});
    return o;
}
