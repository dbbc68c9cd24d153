#pragma once
#include <QDate>
#include <QString>
#include <QStringList>

namespace kelvaro::mscons {

// The folders of the unattended dispatch below the MSCONS output folder:
// "Ausgang" holds the interchanges not yet accepted by the mail server,
// "Gesendet" those it accepted. Both absolute, in native spelling.
struct MsconsMailFolders {
    QString outbox;
    QString sent;
};
MsconsMailFolders MailFoldersOf(const QString& outputDirectory);

// The receivers for whom an interchange of the single day `day` from `sender`
// lies in the outbox or among the sent files already.
QStringList ReceiversWithInterchangeOf(const MsconsMailFolders& folders, const QString& sender,
                                       const QStringList& receivers, QDate day);

// The interchanges waiting in the outbox (full paths, by name).
QStringList OutboxFiles(const QString& outbox);

// Moves a mailed file under its name into the sent folder (created when
// missing) by one rename, never replacing a file there; false with `error`.
bool MoveToSent(const QString& file, const QString& sentFolder, QString& error);

} // namespace kelvaro::mscons
