#pragma once
#include "foundation/processlock.h"

#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <optional>

namespace kelvaro::master {

// The master's side of the lock under which a log import rebuilds a client's
// RB6 files. Each storing of a reading holds it shared for as long as it
// writes, so masters of several ports never wait for each other, only for an
// import, and an import finds a gap between two readings. One gate serves one
// cycle: the cycle waits for a running import up to its bound in all; once
// that has run out it does not wait again and writes RB6 files only while no
// import runs.
class RB6ImportGate {
public:
    struct Hooks {
        std::function<void(const QString&)> log;    // the log view
        std::function<void(const QString&)> status; // the status line
        std::function<bool()> cancelled;            // Stop or closing
    };

    RB6ImportGate(QString rb6Directory, int waitBoundMs, Hooks hooks);

    // True when the reading may write its RB6 files now: the shared lock is
    // held, or the lock cannot be had for another reason than an import (an
    // unusable lock file), which is logged once and written past as before.
    // False while an import runs and the wait for it has run out or was
    // cancelled: the "mb.log" line of that is written once per cycle.
    bool enter();
    void leave();

    // Readings of this cycle whose RB6 values were not written.
    int skipped() const { return skipped_; }

private:
    bool waitForImport();

    QString directory_;
    ProcessLock lock_;
    int waitBoundMs_;
    Hooks hooks_;
    std::optional<QDeadlineTimer> deadline_;
    bool gaveUp_ = false;
    bool unusableLogged_ = false;
    int skipped_ = 0;
};

// The directory of the client's RB6 files below `datenPath` (as RB6FileName names it).
QString RB6Directory(const QString& datenPath);

} // namespace kelvaro::master
