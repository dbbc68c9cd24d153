#include "mail/mailsettings.h"

#include "foundation/ini.h"

namespace kelvaro {

QString MailSettingsFile()
{
    return QStringLiteral(".\\SendMail.INI");
}

static QString Read(const char* key, const QString& file)
{
    return ReadIniString(QLatin1String(kMailSection), QLatin1String(key), file);
}

static bool ReadSwitch(const char* key, const QString& file)
{
    const QString value = Read(key, file);
    return value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

MailSettings MailSettings::load(const QString& file)
{
    MailSettings s;
    s.server = Read("SMTPServer", file);
    s.port = Read("Port", file);
    s.sender = Read("EigEMail", file);
    s.senderName = Read("EigName", file);
    s.user = Read("Username", file);
    s.password = Read("PW", file);
    s.to = Read("AnEMail", file);
    s.cc = Read("CCEMail", file);
    s.subject = Read("Betreff", file);
    s.login = ReadSwitch("Anmelden", file);
    s.plainLogin = ReadSwitch(kPlainLoginKey, file);
    s.html = ReadSwitch("HTML", file);
    s.encoding = Read("Kodierung", file).compare(QLatin1String("UUEncode"), Qt::CaseInsensitive) == 0
                     ? AttachmentEncoding::UUEncode
                     : AttachmentEncoding::Mime;
    return s;
}

bool WriteMailSetting(const QString& key, const QString& value, const QString& file)
{
    return WriteIniString(QLatin1String(kMailSection), key, value, file);
}

QString EncodingKeyValue(AttachmentEncoding encoding)
{
    return encoding == AttachmentEncoding::UUEncode ? QStringLiteral("UUEncode") : QStringLiteral("MIME");
}

int MailPort(const QString& portField)
{
    const QString text = portField.trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && text.at(digits).isDigit())
        ++digits;
    bool ok = false;
    const int port = text.left(digits).toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : 25;
}

} // namespace kelvaro
