#include "command.h"

#include "mbus/hexlist.h"
#include "mbus/provider.h"
#include "telegramjson.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace kelvaro;
using namespace kelvaro::mbus;

namespace {

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
    QString head = QStringLiteral("%1 %2  CI %3").arg(de ? "Adresse" : "Address").arg(t.a).arg(HexByte(t.ci));
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
                    .arg(HexByte(t.status));
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
    Language language = Language::German;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--lang")) {
            const QString l = args.value(++i);
            if (l != QLatin1String("de") && l != QLatin1String("en"))
                return CliFail(CliUsage, QStringLiteral("--lang erwartet de oder en"));
            language = l == QLatin1String("en") ? Language::English : Language::German;
        } else if (a.startsWith(QLatin1String("--"))) {
            return CliFail(CliUsage, QStringLiteral("unbekannte Option: ") + a);
        } else {
            rest << a;
        }
    }
    if (rest.isEmpty())
        return CliFail(CliUsage, QStringLiteral("Telegramm (Hex) oder Datei angeben"));
    QString text = rest.join(QLatin1Char(' '));
    if (rest.size() == 1 && QFileInfo(rest[0]).isFile()) {
        QFile f(rest[0]);
        if (!f.open(QIODevice::ReadOnly))
            return CliFail(CliDataFile, QStringLiteral("Datei nicht lesbar: ") + rest[0]);
        text = QString::fromLatin1(f.readAll());
    }
    QByteArray bytes;
    QString error;
    if (!ParseHexBytes(text, bytes, &error)) {
        const bool looksLikePath = rest.size() == 1 && !QFileInfo::exists(rest[0])
                                   && (rest[0].contains(QLatin1Char('/')) || rest[0].contains(QLatin1Char('.')));
        if (looksLikePath)
            return CliFail(CliDataFile, QStringLiteral("Datei nicht gefunden: ") + rest[0]);
        return CliFail(CliNoAnswer, error);
    }
    MBusProvider provider;
    provider.LNGLanguage = language == Language::German ? 1 : 0;
    if (provider.interpretFrame(bytes) != 0)
        return CliFail(CliNoAnswer, provider.lastErrorText());
    const Telegram& t = provider.telegram();
    // A telegram decoded only in part: what was decoded, then the failure.
    const bool partial = t.error != DecodeError::None;
    if (!CliJsonOutput())
        printPlain(provider, language);
    else if (!partial)
        CliOutJson(DecodedTelegramJson(provider));
    if (partial)
        return CliFail(CliNoAnswer, provider.lastErrorText(), CliJsonOutput() ? DecodedTelegramJson(provider) : QJsonObject{});
    return CliOk;
}

const CliRegistration reg("decode", "decode [--json] [--lang de|en] (HEXLIST | FILE)   decode an M-Bus telegram",
                          "Decodes one RSP_UD frame given as hex bytes (blanks, \";\", \",\" or nothing between\n"
                          "the pairs) or as a file of them, and prints the header and every data record.\n"
                          "\n"
                          "  --json         JSON output: header, records, more_records_follow\n"
                          "  --lang de|en   language of the texts (default de)\n"
                          "\n"
                          "A frame that decodes only in part prints its records and ends with exit code 1.\n",
                          {CliOk, CliNoAnswer, CliUsage, CliDataFile}, decode);

} // namespace
