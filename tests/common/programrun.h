#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kelvaro::test {

// One finished run of a program.
struct ProgramRun {
    bool finished = false;
    bool crashed = false;
    int exitCode = -1; // -1 when it did not finish or crashed
    QByteArray out;
    QByteArray err;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
    // Standard output as one JSON object (empty when it is not one).
    QJsonObject outJson() const;
};

struct RunOptions {
    QString workingDirectory; // the current one when empty
    int timeoutMs = 20000;
    QProcessEnvironment environment; // the test's own when empty
};

// The path of a program in the build tree: "kelvaro-cli" -> <build>/apps/kelvaro-cli/kelvaro-cli.
QString ProgramPath(const QString& program);
bool ProgramBuilt(const QString& program);

// Runs an executable (a path, or a name on PATH) and waits up to the timeout;
// one still running then is killed (finished false).
ProgramRun RunExecutable(const QString& executable, const QStringList& args, const RunOptions& options = {});
inline ProgramRun RunExecutable(const QString& executable, const QStringList& args, int timeoutMs)
{
    RunOptions options;
    options.timeoutMs = timeoutMs;
    return RunExecutable(executable, args, options);
}
// The same for a program of the build tree.
inline ProgramRun RunProgram(const QString& program, const QStringList& args, const RunOptions& options = {})
{
    return RunExecutable(ProgramPath(program), args, options);
}
inline ProgramRun RunProgram(const QString& program, const QStringList& args, const QString& workingDirectory,
                             int timeoutMs = 20000)
{
    return RunProgram(program, args, RunOptions{workingDirectory, timeoutMs, {}});
}
inline ProgramRun RunCli(const QStringList& args, const QString& workingDirectory = {}, int timeoutMs = 20000)
{
    return RunProgram(QStringLiteral("kelvaro-cli"), args, workingDirectory, timeoutMs);
}
// kelvaro-cli's standard output, its exit code through `exitCode`.
inline QString CliOutput(const QStringList& args, int* exitCode = nullptr)
{
    const ProgramRun run = RunCli(args, {}, 30000);
    if (exitCode)
        *exitCode = run.exitCode;
    return run.outText();
}

} // namespace kelvaro::test
