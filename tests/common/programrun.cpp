#include "programrun.h"

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

ProgramRun RunProgram(const QString& program, const QStringList& args, const QString& workingDirectory, int timeoutMs)
{
    ProgramRun run;
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(ProgramPath(program), args);
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(3000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace kelvaro::test
