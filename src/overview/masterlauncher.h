#pragma once
#include "overview/programstarter.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace kelvaro::overview {

// What the masters are started with; built at the program's edge.
struct MasterLaunchSettings {
    QString program; // the master's binary; empty when it was not found
    QString client;  // Mandant
    QString dbPath;  // DBPATH, where each master keeps its port lock
};

// Starts one master per port ("kelvaro Auto -M<client> -C<port>") and knows
// which ports have one. A port counts as running while its master holds the
// port lock, whoever started it, and, for a master started here, also while
// that process still runs (it takes the lock a moment after its start).
class MasterLauncher {
public:
    enum class Result { Started, NoPort, ListedHere, RunningElsewhere, NotFound, Failed };

    explicit MasterLauncher(MasterLaunchSettings settings, ProgramStarter starter = DetachedStarter());

    // The row event: nothing for port 0, for a port in the running-port list
    // or for a port whose lock is held; else the port joins the list and its
    // master starts.
    Result startFromRow(int port);
    // The supervisor's start of a port whose master has ended.
    Result restart(int port);

    bool isRunning(int port) const;
    // The master this launcher started for `port` still runs.
    bool ownProcessRuns(int port) const;
    // The ports of the masters started here, by port.
    QList<int> startedPorts() const;
    bool lockHeld(int port) const;
    // ";" and "CPort" + port + ";" for every master started here and running.
    const QString& runningPorts() const { return runningPorts_; }
    // Takes ports whose master has ended out of the running-port list, so the
    // operator can start them again.
    void forgetEnded();

    QStringList arguments(int port) const;
    // "kelvaro Auto -M200 -C3", as the log shows it.
    QString commandLine(int port) const;
    qint64 pid(int port) const { return pids_.value(port); }
    const MasterLaunchSettings& settings() const { return settings_; }
    // Why the last start failed, for a message.
    const QString& errorText() const { return error_; }

private:
    Result launch(int port);
    static QString entry(int port);

    MasterLaunchSettings settings_;
    ProgramStarter starter_;
    QString runningPorts_ = QStringLiteral(";");
    QHash<int, qint64> pids_;
    QString error_;
};

} // namespace kelvaro::overview
