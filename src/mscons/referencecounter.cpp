#include "mscons/referencecounter.h"

#include "foundation/paths.h"
#include "foundation/processlock.h"
#include "foundation/safefile.h"

namespace kelvaro::mscons {

QString ReferenceCounterFile(const QString& dbPath, const QString& client)
{
    return dbPath + QStringLiteral("MSCONS-Referenz-M") + client + QStringLiteral(".txt");
}

qint64 ReferenceCounter::reserve(int count)
{
    const QString path = NativePath(fileName_);
    ProcessLock lock(path + QStringLiteral(".lock"));
    if (!lock.lock(ProcessLock::Mode::Exclusive, 30000)) {
        error_ = QStringLiteral("Referenzzähler %1 gesperrt: %2")
                     .arg(fileName_, lock.errorText().isEmpty() ? QStringLiteral("ein anderes Programm hält ihn")
                                                                : lock.errorText());
        return 0;
    }
    QByteArray bytes;
    QString reason;
    qint64 last = 0;
    switch (ReadWholeFile(path, bytes, &reason)) {
    case ReadResult::Missing:
        break;
    case ReadResult::Failed:
        error_ = QStringLiteral("Referenzzähler %1 nicht lesbar: %2").arg(fileName_, reason);
        return 0;
    case ReadResult::Read: {
        bool isNumber = false;
        last = bytes.trimmed().toLongLong(&isNumber);
        if (!isNumber || last < 0) {
            error_ = QStringLiteral("Referenzzähler %1 enthält keine Zahl (\"%2\"); er wird nicht neu begonnen, "
                                    "damit keine Referenz zweimal vergeben wird")
                         .arg(fileName_, QString::fromLatin1(bytes.left(40)));
            return 0;
        }
        break;
    }
    }
    if (count < 1 || last > kLargest - count) {
        error_ = QStringLiteral("Referenzzähler %1 erschöpft").arg(fileName_);
        return 0;
    }
    if (!ReplaceWholeFile(path, QByteArray::number(last + count) + "\r\n", &reason)) {
        error_ = QStringLiteral("Referenzzähler %1 nicht geschrieben: %2").arg(fileName_, reason);
        return 0;
    }
    return last + 1;
}

} // namespace kelvaro::mscons
