#include "command.h"

#include <QCoreApplication>
#include <cstdio>
#include <map>

namespace {
struct Entry {
    QString usage;
    CliCommand command;
};
std::map<QString, Entry>& registry()
{
    static std::map<QString, Entry> commands;
    return commands;
}

int usage()
{
    CliErr(QStringLiteral("usage: kelvaro-cli <command> [options]\n\ncommands:"));
    for (const auto& [name, entry] : registry())
        CliErr(QStringLiteral("  ") + entry.usage);
    return 2;
}
} // namespace

CliRegistration::CliRegistration(const char* name, const char* usage, CliCommand command)
{
    registry()[QString::fromLatin1(name)] = {QString::fromUtf8(usage), std::move(command)};
}

void CliOut(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CliErr(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const auto it = registry().find(args.first());
    if (it == registry().end()) {
        CliErr(QStringLiteral("unknown command: ") + args.first());
        return usage();
    }
    return it->second.command(args.mid(1));
}
