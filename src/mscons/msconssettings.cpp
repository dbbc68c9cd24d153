#include "mscons/msconssettings.h"

#include "foundation/ini.h"

namespace kelvaro::mscons {

QString MsconsSection(const QString& client) { return QStringLiteral("MSCONS") + client; }

bool FitsUnoc(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u > 0xFF)
            return false;
    }
    return true;
}

namespace {

QStringList splitList(const QString& text)
{
    QStringList items;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const QString item = part.trimmed();
        if (!item.isEmpty())
            items << item;
    }
    return items;
}

} // namespace

MsconsSettings ReadMsconsSettings(const QString& client, const QString& iniFile, QString& problem)
{
    const QString section = MsconsSection(client);
    MsconsSettings s;
    problem.clear();
    const auto text = [&](const char* key, QString& target) {
        const QString value = ReadIniString(section, QString::fromLatin1(key), iniFile);
        if (!value.isEmpty())
            target = value;
        if (problem.isEmpty() && !FitsUnoc(target))
            problem = QStringLiteral("[%1] %2: \"%3\" enthält Zeichen, die ISO 8859-1 (UNOC) nicht kennt")
                          .arg(section, QString::fromLatin1(key), target);
    };
    text("Absender", s.sender);
    text("AbsenderCode", s.senderCode);
    text("AbsenderAgentur", s.senderAgency);
    QString receivers;
    text("Empfaenger", receivers);
    s.receivers = splitList(receivers);
    text("EmpfaengerCode", s.receiverCode);
    text("EmpfaengerAgentur", s.receiverAgency);
    text("Version", s.associationVersion);
    text("Dokumentcode", s.documentCode);
    text("Pruefidentifikator", s.checkIdentifier);
    text("DatumNachricht", s.messageDateQualifier);
    QString qualifiers = s.readingDateQualifiers.join(QLatin1Char(';'));
    text("DatumStand", qualifiers);
    s.readingDateQualifiers = splitList(qualifiers);
    QString mark = s.decimalMark;
    text("Dezimalzeichen", mark);
    text("Anwendungsreferenz", s.applicationReference);
    s.outputDirectory = ReadIniString(section, QStringLiteral("Ausgabepfad"), iniFile);
    const QString zone = ReadIniString(section, QStringLiteral("Zeitzone"), iniFile);
    if (!zone.isEmpty())
        s.timeZone = QTimeZone(zone.toLatin1());

    if (!problem.isEmpty())
        return s;
    if (s.sender.trimmed().isEmpty())
        problem = QStringLiteral("[%1] Absender fehlt (die Marktpartner-ID dieser Anlage)").arg(section);
    else if (s.receivers.isEmpty())
        problem = QStringLiteral("[%1] Empfaenger fehlt (eine oder mehrere IDs, getrennt durch \";\")").arg(section);
    else if (mark != QLatin1String(".") && mark != QLatin1String(","))
        problem = QStringLiteral("[%1] Dezimalzeichen \"%2\": nur \".\" oder \",\"").arg(section, mark);
    else if (!s.timeZone.isValid())
        problem = QStringLiteral("[%1] Zeitzone \"%2\" ist unbekannt").arg(section, zone);
    else if (s.readingDateQualifiers.isEmpty())
        problem = QStringLiteral("[%1] DatumStand ist leer").arg(section);
    else
        s.decimalMark = mark.at(0);
    return s;
}

} // namespace kelvaro::mscons
