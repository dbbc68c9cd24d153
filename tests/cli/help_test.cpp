#include "programrun.h"

#include "foundation/programinfo.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kelvaro::test::ProgramPath;
using kelvaro::test::ProgramRun;
using kelvaro::test::RunCli;
using kelvaro::test::RunProgram;

namespace {

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The command names of the overview's "commands:" block.
QStringList listedCommands(const QString& overview)
{
    QStringList names;
    const QString block = overview.section(QStringLiteral("commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    for (const QString& line : block.split('\n', Qt::SkipEmptyParts))
        names << line.trimmed().section(' ', 0, 0);
    names.removeDuplicates();
    return names;
}

} // namespace

TEST(ProgramInfo, EveryProgramAnswersHelpAndVersionAndLeavesAnEmptyDirectoryEmpty)
{
    for (const QString program : {"kelvaro", "kelvaro-cli", "mbus-sim"}) {
        SCOPED_TRACE(program.toStdString());
        if (!QFileInfo::exists(ProgramPath(program)))
            GTEST_SKIP() << program.toStdString() << " not built";
        for (const QString option : {"--help", "-h", "--version"}) {
            SCOPED_TRACE(option.toStdString());
            QTemporaryDir dir;
            const ProgramRun run = RunProgram(program, {option}, dir.path(), 10000);
            ASSERT_TRUE(run.finished) << "still running after " << option.toStdString();
            EXPECT_EQ(run.exitCode, 0) << run.errText().toStdString();
            if (option == QLatin1String("--version"))
                EXPECT_EQ(run.outText().trimmed(), kelvaro::ProgramVersionLine(program));
            else
                EXPECT_TRUE(run.outText().contains(QRegularExpression(QStringLiteral("^[Uu]sage: "))))
                    << run.outText().toStdString();
            EXPECT_EQ(entriesOf(dir.path()), QStringList()) << "written into the working directory";
        }
    }
}

TEST(ProgramInfo, TheStationTakesHelpAnywhereOnItsCommandLine)
{
    if (!QFileInfo::exists(ProgramPath("kelvaro")))
        GTEST_SKIP() << "kelvaro not built";
    QTemporaryDir dir;
    const ProgramRun run = RunProgram("kelvaro", {"Auto", "-M200", "-C1", "--help"}, dir.path(), 10000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.outText().contains("-C<port>"));
    EXPECT_EQ(entriesOf(dir.path()), QStringList());
}

TEST(CliHelp, OverviewListsTheCommandsAndTheExitCodes)
{
    if (!QFileInfo::exists(ProgramPath("kelvaro-cli")))
        GTEST_SKIP() << "kelvaro-cli not built";
    const ProgramRun help = RunCli({"--help"});
    ASSERT_EQ(help.exitCode, 0);
    const QStringList commands = listedCommands(help.outText());
    for (const char* command : {"paths", "decode", "read", "scan-primary", "scan-secondary", "send", "rb6", "db",
                                "demo-setup", "demo-report"})
        EXPECT_TRUE(commands.contains(command)) << command;
    for (const char* code : {"0  ok", "1  no answer", "2  usage", "3  configuration", "4  device", "5  database or file"})
        EXPECT_TRUE(help.outText().contains(code)) << code;

    EXPECT_EQ(RunCli({"-h"}).out, help.out);
    EXPECT_EQ(RunCli({"help"}).out, help.out);
    const ProgramRun bare = RunCli({});
    EXPECT_EQ(bare.exitCode, 2) << "no command is a usage error";
    EXPECT_TRUE(bare.out.isEmpty());
    EXPECT_EQ(bare.err.trimmed(), help.out.trimmed());
}

TEST(CliHelp, EveryCommandAnswersHelpInEachSpellingWithoutRunning)
{
    if (!QFileInfo::exists(ProgramPath("kelvaro-cli")))
        GTEST_SKIP() << "kelvaro-cli not built";
    const QStringList commands = listedCommands(RunCli({"--help"}).outText());
    ASSERT_GE(commands.size(), 10);
    for (const QString& command : commands) {
        SCOPED_TRACE(command.toStdString());
        QTemporaryDir dir;
        const ProgramRun help = RunCli({"help", command}, dir.path());
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.outText().startsWith("Usage: kelvaro-cli " + command)) << help.outText().toStdString();
        EXPECT_TRUE(help.outText().contains("exit codes:\n  0  ok\n"));
        for (const QStringList& spelling : {QStringList{command, "--help"}, QStringList{command, "-h"},
                                            QStringList{"--help", command}})
            EXPECT_EQ(RunCli(spelling, dir.path()).out, help.out) << spelling.join(' ').toStdString();
        // Help comes before everything else, also before options the command would refuse.
        const ProgramRun late = RunCli({command, "--no-such-option", "--help"}, dir.path());
        EXPECT_EQ(late.exitCode, 0);
        EXPECT_EQ(late.out, help.out);
        EXPECT_EQ(entriesOf(dir.path()), QStringList());
    }
    const ProgramRun unknown = RunCli({"help", "frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.errText().contains("frobnicate"));
}

TEST(CliHelp, DecodeHelpIsNotReadAsATelegram)
{
    if (!QFileInfo::exists(ProgramPath("kelvaro-cli")))
        GTEST_SKIP() << "kelvaro-cli not built";
    const ProgramRun run = RunCli({"decode", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.outText().contains("--lang de|en"));
    EXPECT_TRUE(run.err.isEmpty()) << run.errText().toStdString();
}
