#pragma once
#include "mail/mailsettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <optional>

namespace kelvaro {

struct OutgoingMail {
    QString sender;
    QString senderName;
    QString to;
    QString cc;
    QString subject;
    QString body;
    QStringList attachments; // file paths
    bool html = false;
    AttachmentEncoding encoding = AttachmentEncoding::Mime;
};

// The whole message as it goes over the wire (CRLF lines). MIME: a
// multipart/mixed message with base64 attachments; UUEncode: one plain part
// with every attachment uuencoded after the text. nullopt (last-error text set)
// when an attachment cannot be read.
std::optional<QByteArray> BuildMailMessage(const OutgoingMail& mail, const QDateTime& date);

// The attachment string of the dispatch ("a;b;c") as a list of paths.
QStringList SplitAttachments(const QString& attachmentString);

} // namespace kelvaro
