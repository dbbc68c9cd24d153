#pragma once
#include <QString>
#include <optional>

namespace kelvaro {

// The version the station shows in its title ("V1.1").
QString ProgramVersionText();
// "<program> V1.1", the answer to --version of every program.
QString ProgramVersionLine(const QString& program);

// Answers "--help", "-h" and "--version" anywhere on a raw command line before
// the program sets anything up (no application object, no file touched): prints
// `help` or the version line to standard output and gives exit code 0.
// Nothing when the command line asks for neither.
std::optional<int> AnswerHelpOrVersion(int argc, char** argv, const QString& program, const QString& help);

} // namespace kelvaro
