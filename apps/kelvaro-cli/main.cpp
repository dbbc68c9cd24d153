#include "command.h"

#include "foundation/clientpaths.h"
#include "foundation/programinfo.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {

struct Entry {
    QString usage;
    QString help;
    QList<int> exitCodes;
    CliCommand command;
};

std::map<QString, Entry>& registry()
{
    static std::map<QString, Entry> commands;
    return commands;
}

bool g_json = false;
QString g_command;

QString exitCodeText(int code)
{
    switch (code) {
    case CliOk: return QStringLiteral("ok");
    case CliNoAnswer: return QStringLiteral("no answer from the bus, or the telegram is not decodable");
    case CliUsage: return QStringLiteral("usage: unknown command, wrong or missing option");
    case CliConfiguration: return QStringLiteral("configuration: no client in OVX.INI");
    case CliDevice: return QStringLiteral("device: the serial port or device server cannot be used");
    case CliDataFile: return QStringLiteral("database or file: cannot be read, written or created");
    case CliMailNotSent: return QStringLiteral("mail: the server did not accept a mail");
    }
    return {};
}

QString exitCodeLines(const QList<int>& codes)
{
    QString text = QStringLiteral("exit codes:\n");
    for (int code : codes)
        text += QStringLiteral("  %1  %2\n").arg(code).arg(exitCodeText(code));
    return text;
}

QString overview()
{
    QString text = QStringLiteral(
        "Usage: kelvaro-cli <command> [options]\n"
        "       kelvaro-cli help <command> | <command> --help | --help | --version\n"
        "\n"
        "Operator and diagnostic commands of the Kelvaro reading station. They work in\n"
        "the installation directory (the working directory with OVX.INI and dnq.conf).\n"
        "\n"
        "commands:\n");
    for (const auto& [name, entry] : registry())
        text += QStringLiteral("  ") + entry.usage + '\n';
    text += QStringLiteral("\n--json: JSON output; a failure then prints {\"error\": {\"code\": N, \"text\": \"...\"}}\n"
                           "(the text also goes to standard error).\n\n");
    return text
        + exitCodeLines({CliOk, CliNoAnswer, CliUsage, CliConfiguration, CliDevice, CliDataFile, CliMailNotSent});
}

QString commandHelp(const Entry& entry)
{
    // A usage line may end in a short description after three blanks.
    return QStringLiteral("Usage: kelvaro-cli ") + entry.usage.section(QStringLiteral("   "), 0, 0)
           + QStringLiteral("\n\n") + entry.help + '\n' + exitCodeLines(entry.exitCodes);
}

bool asksForHelp(const QString& arg) { return arg == QLatin1String("--help") || arg == QLatin1String("-h"); }

int answerHelpCommand(const QStringList& topics)
{
    if (topics.isEmpty()) {
        CliOut(overview());
        return CliOk;
    }
    const auto it = registry().find(topics.first());
    if (it == registry().end())
        return CliFail(CliUsage, QStringLiteral("unknown command: ") + topics.first());
    CliOut(commandHelp(it->second));
    return CliOk;
}

} // namespace

CliRegistration::CliRegistration(const char* name, const char* usage, const QString& help,
                                 std::initializer_list<int> exitCodes, CliCommand command)
{
    registry()[QString::fromLatin1(name)] = {QString::fromUtf8(usage), help, QList<int>(exitCodes), std::move(command)};
}

void CliOut(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    if (!text.endsWith('\n'))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CliErr(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

void CliOutJson(const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    CliOut(QString::fromUtf8(document.toJson(QJsonDocument::Compact)));
}

bool CliJsonOutput() { return g_json; }

int CliFail(int code, const QString& text, const QJsonObject& partial)
{
    CliErr(g_command.isEmpty() ? text : g_command + QStringLiteral(": ") + text);
    if (g_json) {
        QJsonObject o = partial;
        o.insert(QStringLiteral("error"), QJsonObject{{"code", code}, {"text", text}});
        CliOutJson(o);
    }
    return code;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        CliErr(overview());
        return CliUsage;
    }
    const QString& first = args.first();
    if (asksForHelp(first) || first == QLatin1String("help"))
        return answerHelpCommand(args.mid(1).filter(QRegularExpression(QStringLiteral("^[^-]"))));
    if (first == QLatin1String("--version")) {
        CliOut(kelvaro::ProgramVersionLine(QStringLiteral("kelvaro-cli")));
        return CliOk;
    }
    const auto it = registry().find(first);
    if (it == registry().end()) {
        g_json = args.contains(QStringLiteral("--json"));
        CliFail(CliUsage, QStringLiteral("unknown command: ") + first);
        CliErr(overview());
        return CliUsage;
    }
    // "--json" belongs to every command; the commands ask CliJsonOutput().
    QStringList commandArgs = args.mid(1);
    g_json = commandArgs.removeAll(QStringLiteral("--json")) > 0;
    if (std::any_of(commandArgs.begin(), commandArgs.end(), asksForHelp)) {
        CliOut(commandHelp(it->second));
        return CliOk;
    }
    g_command = first;
    // Program-log lines go to the installation directory (the working
    // directory) unless the command resolves a client, which then names its
    // own directory (StartClient), as the windows do.
    kelvaro::DBPATH = QStringLiteral(".\\");
    return it->second.command(commandArgs);
}
