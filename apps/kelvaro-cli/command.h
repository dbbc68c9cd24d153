#pragma once
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <functional>
#include <initializer_list>

// The exit codes of every kelvaro-cli command, listed in --help.
enum CliExitCode : int {
    CliOk = 0,
    CliNoAnswer = 1,      // no answer from the bus, or the telegram is not decodable
    CliUsage = 2,         // unknown command, wrong or missing option
    CliConfiguration = 3, // the installation's settings (no client in OVX.INI)
    CliDevice = 4,        // the serial port or device server cannot be used
    CliDataFile = 5,      // a database or file cannot be read, written or created
    CliMailNotSent = 6,   // the mail server did not accept a mail
};

// A kelvaro-cli command: receives its arguments (after the command name) and
// returns the process exit code. Each command file registers itself with its
// usage line, its help text and the exit codes it can give.
using CliCommand = std::function<int(const QStringList& args)>;

struct CliRegistration {
    CliRegistration(const char* name, const char* usage, const QString& help, std::initializer_list<int> exitCodes,
                    CliCommand command);
};

// Output helpers: standard output in UTF-8 (terminal), errors to standard error.
void CliOut(const QString& text);
void CliErr(const QString& text);
// One JSON document (an object or an array) on one line of standard output.
void CliOutJson(const QJsonValue& value);

// True when the command line asks for JSON output ("--json").
bool CliJsonOutput();

// A failed command: `text` on standard error and, with --json, one object
// {"error": {"code": code, "text": text}} on standard output, into which
// `partial` (what the command got before it failed) is merged. Returns `code`.
int CliFail(int code, const QString& text, const QJsonObject& partial = {});
