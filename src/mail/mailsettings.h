#pragma once
#include <QString>

namespace kelvaro {

enum class AttachmentEncoding { Mime, UUEncode };

// Everything the dispatch keeps in ".\SendMail.INI", section SendMail.
struct MailSettings {
    QString server;      // SMTPServer
    QString port;        // Port, as typed
    QString sender;      // EigEMail
    QString senderName;  // EigName
    QString user;        // Username
    QString password;    // PW
    QString to;          // AnEMail
    QString cc;          // CCEMail
    QString subject;     // Betreff
    bool login = false;  // Anmelden
    // AnmeldungOhneTLS: the login may go out without TLS (a relay on the
    // same machine that offers no STARTTLS). Off, a login is only sent
    // encrypted. Only in the file: no field of the window sets it.
    bool plainLogin = false;
    bool html = false;   // HTML
    AttachmentEncoding encoding = AttachmentEncoding::Mime; // Kodierung

    static MailSettings load(const QString& file);
};

QString MailSettingsFile();
inline const char* const kMailSection = "SendMail";
inline const char* const kPlainLoginKey = "AnmeldungOhneTLS";

// Writes one key; false (last-error text set) when the file cannot be written.
bool WriteMailSetting(const QString& key, const QString& value, const QString& file);
QString EncodingKeyValue(AttachmentEncoding encoding);

// The port to connect to: the leading number of the field, 25 for empty or 0.
int MailPort(const QString& portField);

} // namespace kelvaro
