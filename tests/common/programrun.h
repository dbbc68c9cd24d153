#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace kelvaro::test {

// One finished run of a built program.
struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
    // Standard output as one JSON object (empty when it is not one).
    QJsonObject outJson() const;
};

// The path of a program in the build tree: "kelvaro-cli" -> <build>/apps/kelvaro-cli/kelvaro-cli.
QString ProgramPath(const QString& program);

// Runs a program in `workingDirectory` (the current one when empty) and waits
// up to `timeoutMs`; a program still running then is killed (finished false).
ProgramRun RunProgram(const QString& program, const QStringList& args, const QString& workingDirectory = {},
                      int timeoutMs = 20000);
inline ProgramRun RunCli(const QStringList& args, const QString& workingDirectory = {})
{
    return RunProgram(QStringLiteral("kelvaro-cli"), args, workingDirectory);
}

} // namespace kelvaro::test
