#include "programrun.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

namespace kelvaro::test {

QJsonObject ProgramRun::outJson() const
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(out, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject{};
}

QString ProgramPath(const QString& program)
{
    const QString folder = program == QLatin1String("mbus-sim") ? QStringLiteral("tools") : QStringLiteral("apps");
    return QStringLiteral(KELVARO_BINARY_DIR "/") + folder + '/' + program + '/' + program;
}

bool ProgramBuilt(const QString& program) { return QFileInfo::exists(ProgramPath(program)); }

ProgramRun RunExecutable(const QString& executable, const QStringList& args, const RunOptions& options)
{
    ProgramRun run;
    QProcess process;
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    if (!options.environment.isEmpty())
        process.setProcessEnvironment(options.environment);
    process.start(executable, args);
    run.finished = process.waitForFinished(options.timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(3000);
    }
    run.crashed = run.finished && process.exitStatus() == QProcess::CrashExit;
    run.exitCode = run.finished && !run.crashed ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace kelvaro::test
