#include "master/rb6importgate.h"

#include "foundation/datafilenames.h"
#include "foundation/paths.h"
#include "storage/mbuslog.h"

#include <algorithm>

namespace kelvaro::master {

QString RB6Directory(const QString& datenPath) { return DirectoryOf(RB6FileName(datenPath, 0, 0)); }

RB6ImportGate::RB6ImportGate(QString rb6Directory, int waitBoundMs, Hooks hooks)
    : directory_(std::move(rb6Directory))
    , lock_(RB6DirectoryLockFile(directory_))
    , waitBoundMs_(std::max(0, waitBoundMs))
    , hooks_(std::move(hooks))
{
}

bool RB6ImportGate::enter()
{
    // The lock file lies in the directory; the first reading of a client creates it.
    EnsureDirectory(directory_);
    if (lock_.tryLock(ProcessLock::Mode::Shared))
        return true;
    if (lock_.heldElsewhere() && !gaveUp_ && waitForImport())
        return true;
    if (!lock_.heldElsewhere()) {
        if (!unusableLogged_ && hooks_.log)
            hooks_.log(QStringLiteral("Fehler RB6 Sperre : ") + lock_.errorText());
        unusableLogged_ = true;
        return true;
    }
    ++skipped_;
    return false;
}

bool RB6ImportGate::waitForImport()
{
    const QString waiting = QStringLiteral("Warte auf Import der Logdateien");
    WriteMBusLogLine(waiting);
    if (hooks_.log)
        hooks_.log(waiting);
    if (hooks_.status)
        hooks_.status(waiting);
    if (!deadline_)
        deadline_ = QDeadlineTimer(waitBoundMs_);
    const int remaining = static_cast<int>(std::max<qint64>(0, deadline_->remainingTime()));
    if (lock_.lock(ProcessLock::Mode::Shared, remaining, hooks_.cancelled)) {
        if (hooks_.log)
            hooks_.log(QStringLiteral("Import der Logdateien beendet"));
        return true;
    }
    if (!lock_.heldElsewhere())
        return false; // the lock file went bad meanwhile: enter() writes past it
    gaveUp_ = true;
    const QString failed =
        QStringLiteral("Fehler : Import der Logdateien läuft noch, RB6 Dateien nicht gespeichert (Werte im mb.log)");
    WriteMBusLogLine(failed);
    if (hooks_.log)
        hooks_.log(failed);
    return false;
}

void RB6ImportGate::leave() { lock_.unlock(); }

} // namespace kelvaro::master
