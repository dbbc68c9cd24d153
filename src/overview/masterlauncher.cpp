#include "overview/masterlauncher.h"

#include "foundation/processlock.h"
#include "foundation/programlog.h"

#include <QFileInfo>

#include <algorithm>

namespace kelvaro::overview {

MasterLauncher::MasterLauncher(MasterLaunchSettings settings, ProgramStarter starter)
    : settings_(std::move(settings)), starter_(std::move(starter))
{
}

QString MasterLauncher::entry(int port) { return QStringLiteral("CPort%1;").arg(port); }

QStringList MasterLauncher::arguments(int port) const
{
    return {QStringLiteral("Auto"), QStringLiteral("-M") + settings_.client, QStringLiteral("-C%1").arg(port)};
}

QString MasterLauncher::commandLine(int port) const
{
    const QString name = settings_.program.isEmpty() ? QStringLiteral("kelvaro") : QFileInfo(settings_.program).fileName();
    return (QStringList{name} + arguments(port)).join(' ');
}

bool MasterLauncher::lockHeld(int port) const
{
    return ProcessLock::isHeld(MasterPortLockFile(settings_.dbPath, settings_.client, port));
}

bool MasterLauncher::ownProcessRuns(int port) const
{
    return ProcessRuns(pids_.value(port), settings_.program, arguments(port));
}

QList<int> MasterLauncher::startedPorts() const
{
    QList<int> ports = pids_.keys();
    std::sort(ports.begin(), ports.end());
    return ports;
}

bool MasterLauncher::isRunning(int port) const { return ownProcessRuns(port) || lockHeld(port); }

MasterLauncher::Result MasterLauncher::startFromRow(int port)
{
    if (port == 0)
        return Result::NoPort;
    if (runningPorts_.contains(';' + entry(port)))
        return Result::ListedHere;
    if (lockHeld(port))
        return Result::RunningElsewhere;
    const Result result = launch(port);
    if (result == Result::Started)
        runningPorts_ += entry(port);
    return result;
}

MasterLauncher::Result MasterLauncher::restart(int port)
{
    if (port == 0)
        return Result::NoPort;
    if (isRunning(port))
        return Result::RunningElsewhere;
    const Result result = launch(port);
    if (result == Result::Started && !runningPorts_.contains(';' + entry(port)))
        runningPorts_ += entry(port);
    return result;
}

MasterLauncher::Result MasterLauncher::launch(int port)
{
    error_.clear();
    if (settings_.program.isEmpty()) {
        error_ = QStringLiteral("Kelvaro ist nicht installiert (Programm kelvaro nicht gefunden)");
        WriteProgramLog(error_);
        return Result::NotFound;
    }
    qint64 pid = 0;
    if (!starter_(settings_.program, arguments(port), &pid)) {
        error_ = QStringLiteral("Fehler beim Starten von ") + commandLine(port);
        WriteProgramLog(error_);
        return Result::Failed;
    }
    pids_.insert(port, pid);
    WriteProgramLog(QStringLiteral("Starte %1 (PID %2)").arg(commandLine(port)).arg(pid));
    return Result::Started;
}

void MasterLauncher::forgetEnded()
{
    const QStringList entries = runningPorts_.split(';', Qt::SkipEmptyParts);
    QString kept = QStringLiteral(";");
    for (const QString& e : entries) {
        const int port = e.mid(5).toInt();
        if (isRunning(port))
            kept += e + ';';
        else
            pids_.remove(port);
    }
    runningPorts_ = kept;
}

} // namespace kelvaro::overview
