#include "mscons/msconsoutbox.h"

#include "foundation/paths.h"
#include "mscons/msconsexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kelvaro::mscons {

MsconsMailFolders MailFoldersOf(const QString& outputDirectory)
{
    const QDir base(QFileInfo(NativePath(outputDirectory)).absoluteFilePath());
    return {base.filePath(QStringLiteral("Ausgang")), base.filePath(QStringLiteral("Gesendet"))};
}

static QStringList InterchangeNames(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("MSCONS_*.edi")}, QDir::Files, QDir::Name);
}

// A name of `prefix` followed by the reference (digits only) and ".edi".
static bool IsInterchangeOf(const QString& name, const QString& prefix)
{
    static const QString suffix = QStringLiteral(".edi");
    if (!name.startsWith(prefix) || !name.endsWith(suffix) || name.size() == prefix.size() + suffix.size())
        return false;
    for (qsizetype k = prefix.size(); k < name.size() - suffix.size(); ++k)
        if (!name[k].isDigit())
            return false;
    return true;
}

QStringList ReceiversWithInterchangeOf(const MsconsMailFolders& folders, const QString& sender,
                                       const QStringList& receivers, QDate day)
{
    const QStringList names = InterchangeNames(folders.outbox) + InterchangeNames(folders.sent);
    QStringList found;
    for (const QString& receiver : receivers) {
        QString prefix = MsconsFileName(sender, receiver, day, day, QString());
        prefix.chop(4); // ".edi"
        if (std::any_of(names.begin(), names.end(), [&](const QString& n) { return IsInterchangeOf(n, prefix); }))
            found << receiver;
    }
    return found;
}

QStringList OutboxFiles(const QString& outbox)
{
    QStringList files;
    for (const QString& name : InterchangeNames(outbox))
        files << QDir(outbox).filePath(name);
    return files;
}

bool MoveToSent(const QString& file, const QString& sentFolder, QString& error)
{
    if (!EnsureDirectory(sentFolder) || !QFileInfo(sentFolder).isDir()) {
        error = QStringLiteral("Ordner %1 kann nicht angelegt werden").arg(sentFolder);
        return false;
    }
    const QString target = QDir(sentFolder).filePath(QFileInfo(file).fileName());
    if (QFileInfo::exists(target)) {
        error = QStringLiteral("%1 gibt es schon; nichts überschrieben").arg(target);
        return false;
    }
    // One rename, never a copy: the file is in exactly one of the two folders.
    if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) != 0) {
        error = QStringLiteral("%1 nicht nach %2 verschoben: %3")
                    .arg(file, sentFolder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

} // namespace kelvaro::mscons
