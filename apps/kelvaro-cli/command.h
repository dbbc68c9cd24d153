#pragma once
#include <QStringList>
#include <functional>

// A kelvaro-cli command: receives its arguments (after the command name) and
// returns the process exit code. Each command file registers itself.
using CliCommand = std::function<int(const QStringList& args)>;

struct CliRegistration {
    CliRegistration(const char* name, const char* usage, CliCommand command);
};

// Output helpers: standard output in UTF-8 (terminal), errors to standard error.
void CliOut(const QString& text);
void CliErr(const QString& text);
