#include "mail/mailmessage.h"

#include "foundation/lasterror.h"
#include "mail/mailaddresses.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>

namespace kelvaro {

namespace {

const QByteArray kCrLf = "\r\n";

bool IsPlainAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

// Header text: unchanged when plain ASCII, else an RFC 2047 encoded word.
QByteArray HeaderText(const QString& text)
{
    if (IsPlainAscii(text))
        return text.toLatin1();
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

QByteArray Address(const QString& name, const QString& address)
{
    const QByteArray addr = "<" + address.trimmed().toLatin1() + ">";
    if (name.trimmed().isEmpty())
        return addr;
    QString quoted = name.trimmed();
    if (IsPlainAscii(quoted)) {
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        return "\"" + quoted.toLatin1() + "\" " + addr;
    }
    return HeaderText(quoted) + " " + addr;
}

// "To" and "Cc": every address of the field, comma-separated as RFC 5322 wants.
QByteArray AddressList(const QString& field)
{
    QByteArray list;
    for (const QString& address : SplitAddresses(field)) {
        if (!list.isEmpty())
            list += ", ";
        list += Address({}, address);
    }
    return list;
}

// A world-unique id: random left part, the sender's domain on the right.
QByteArray MessageId(const QString& sender)
{
    QString domain = AddressDomain(sender.trimmed());
    if (domain.isEmpty() || !IsPlainAscii(domain) || !IsUsableAddress(QStringLiteral("x@") + domain))
        domain = QStringLiteral("localhost");
    return "<" + QUuid::createUuid().toByteArray(QUuid::Id128) + "@" + domain.toLatin1() + ">";
}

// Why a file cannot be read, in the words of the window.
QString UnreadableReason(const QFile& file)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        return QStringLiteral("Die Datei ist nicht vorhanden.");
    if (info.isDir())
        return QStringLiteral("Das ist ein Verzeichnis, keine Datei.");
    if (!info.isReadable() || file.error() == QFileDevice::PermissionsError)
        return QStringLiteral("Keine Berechtigung, die Datei zu lesen.");
    return QStringLiteral("Die Datei kann nicht gelesen werden.");
}

QByteArray Base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        out += encoded.mid(i, 76) + kCrLf;
    return out;
}

QByteArray UuLines(const QByteArray& data)
{
    QByteArray out;
    auto put = [&out](int v) { out += char(v ? (v & 0x3f) + 0x20 : '`'); };
    for (qsizetype i = 0; i < data.size(); i += 45) {
        const QByteArray chunk = data.mid(i, 45);
        put(int(chunk.size()));
        for (qsizetype j = 0; j < chunk.size(); j += 3) {
            const uchar a = uchar(chunk[j]);
            const uchar b = j + 1 < chunk.size() ? uchar(chunk[j + 1]) : 0;
            const uchar c = j + 2 < chunk.size() ? uchar(chunk[j + 2]) : 0;
            put(a >> 2);
            put(((a << 4) | (b >> 4)) & 0x3f);
            put(((b << 2) | (c >> 6)) & 0x3f);
            put(c & 0x3f);
        }
        out += kCrLf;
    }
    out += "`" + kCrLf;
    return out;
}

// Text with CRLF line ends whatever the box held.
QString CrLfText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

QByteArray FileNameParameter(const QString& name)
{
    if (IsPlainAscii(name) && !name.contains(QLatin1Char('"')))
        return "\"" + name.toLatin1() + "\"";
    return "\"" + HeaderText(name) + "\"";
}

} // namespace

QStringList SplitAttachments(const QString& attachmentString)
{
    QStringList paths;
    for (const QString& part : attachmentString.split(QLatin1Char(';')))
        if (!part.trimmed().isEmpty())
            paths << part.trimmed();
    return paths;
}

std::optional<QByteArray> BuildMailMessage(const OutgoingMail& mail, const QDateTime& date)
{
    QList<QPair<QString, QByteArray>> files;
    for (const QString& path : mail.attachments) {
        QFile file(path);
        QByteArray data;
        const bool read = file.open(QIODevice::ReadOnly) && !QFileInfo(path).isDir()
                          && ((data = file.readAll()).size() == file.size() || file.isSequential());
        if (!read) {
            SetLastErrorText(QStringLiteral("Anhang %1 kann nicht gelesen werden: %2").arg(path, UnreadableReason(file)));
            return std::nullopt;
        }
        // Names typed on Windows use "\" as separator.
        QString name = path;
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        files.append({QFileInfo(name).fileName(), data});
    }

    QByteArray head;
    head += "From: " + Address(mail.senderName, mail.sender) + kCrLf;
    head += "To: " + AddressList(mail.to) + kCrLf;
    if (!SplitAddresses(mail.cc).isEmpty())
        head += "Cc: " + AddressList(mail.cc) + kCrLf;
    head += "Reply-To: " + Address({}, mail.sender) + kCrLf;
    head += "Subject: " + HeaderText(mail.subject) + kCrLf;
    head += "Date: " + QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")).toLatin1();
    {
        const int offset = date.offsetFromUtc() / 60;
        const int absolute = offset < 0 ? -offset : offset;
        head += QStringLiteral(" %1%2%3").arg(offset < 0 ? '-' : '+').arg(absolute / 60, 2, 10, QLatin1Char('0'))
                    .arg(absolute % 60, 2, 10, QLatin1Char('0')).toLatin1() + kCrLf;
    }
    head += "Message-ID: " + MessageId(mail.sender) + kCrLf;
    head += "MIME-Version: 1.0" + kCrLf;

    const QByteArray textType = mail.html ? "text/html" : "text/plain";
    const QByteArray textPart = "Content-Type: " + textType + "; charset=UTF-8" + kCrLf
                                + "Content-Transfer-Encoding: base64" + kCrLf + kCrLf;

    if (mail.encoding == AttachmentEncoding::UUEncode || files.isEmpty()) {
        QByteArray text = CrLfText(mail.body).toUtf8();
        if (!files.isEmpty() && !text.isEmpty() && !text.endsWith(kCrLf))
            text += kCrLf;
        for (const auto& [name, data] : files)
            text += kCrLf + "begin 644 " + name.toUtf8() + kCrLf + UuLines(data) + "end" + kCrLf;
        return head + textPart + Base64Lines(text);
    }

    const QByteArray boundary = "=_" + QUuid::createUuid().toByteArray(QUuid::Id128);
    QByteArray out = head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + kCrLf + kCrLf;
    out += "--" + boundary + kCrLf + textPart + Base64Lines(CrLfText(mail.body).toUtf8());
    for (const auto& [name, data] : files) {
        out += "--" + boundary + kCrLf;
        out += "Content-Type: application/octet-stream; name=" + FileNameParameter(name) + kCrLf;
        out += "Content-Transfer-Encoding: base64" + kCrLf;
        out += "Content-Disposition: attachment; filename=" + FileNameParameter(name) + kCrLf + kCrLf;
        out += Base64Lines(data);
    }
    out += "--" + boundary + "--" + kCrLf;
    return out;
}

} // namespace kelvaro
