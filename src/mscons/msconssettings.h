#pragma once
#include <QChar>
#include <QString>
#include <QStringList>
#include <QTimeZone>

namespace kelvaro::mscons {

// What differs between market partners and handbook versions: section
// "MSCONS" + client of OVX.INI, read by the program and handed down.
struct MsconsSettings {
    QString sender;                 // Absender: market partner id of this installation
    QString senderCode = QStringLiteral("500");      // AbsenderCode: issuer of the id in UNB
    QString senderAgency = QStringLiteral("293");    // AbsenderAgentur: code list agency in NAD
    QStringList receivers;          // Empfaenger: one interchange each, separated by ";"
    QString receiverCode = QStringLiteral("500");    // EmpfaengerCode
    QString receiverAgency = QStringLiteral("293");  // EmpfaengerAgentur
    QString associationVersion = QStringLiteral("2.4c"); // Version (UNH)
    QString documentCode = QStringLiteral("7");          // Dokumentcode (BGM)
    QString checkIdentifier = QStringLiteral("13002");   // Pruefidentifikator (RFF+Z13)
    QString messageDateQualifier = QStringLiteral("137"); // DatumNachricht
    // DatumStand: the DTM qualifiers after each reading ("7;163;164"): 163 is
    // the start of the reading's day, 164 its end, any other the reading's time.
    QStringList readingDateQualifiers{QStringLiteral("7")};
    QChar decimalMark = QLatin1Char('.');  // Dezimalzeichen: "." or ","
    QString applicationReference;          // Anwendungsreferenz (UNB), empty: none
    QTimeZone timeZone = QTimeZone::systemTimeZone(); // Zeitzone of the stored times
    QString outputDirectory;               // Ausgabepfad, empty: DatenPath + "MSCONS"
};

// "MSCONS" + client.
QString MsconsSection(const QString& client);

// Reads the section; an empty `problem` when the settings can be used,
// otherwise the German reason (missing sender or receiver, a value that
// ISO 8859-1 cannot carry, an unknown time zone, ...).
MsconsSettings ReadMsconsSettings(const QString& client, const QString& iniFile, QString& problem);

// True when every character can be written in UNOC (ISO 8859-1 without
// control characters).
bool FitsUnoc(const QString& text);

} // namespace kelvaro::mscons
