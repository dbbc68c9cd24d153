#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace kelvaro::overview {

// Starts a program without waiting for it, in the installation directory (the
// working directory); gives its process id. False when it could not start.
using ProgramStarter = std::function<bool(const QString& program, const QStringList& arguments, qint64* pid)>;

// The real one: a detached process of its own session, so that neither a
// signal to the overview nor its end reaches the programs it started.
ProgramStarter DetachedStarter();

// Whether the process `pid` still runs `program` with `arguments` (a process
// id the system has handed to another program meanwhile does not count).
bool ProcessRuns(qint64 pid, const QString& program, const QStringList& arguments);

} // namespace kelvaro::overview
