#pragma once
// The command-line tools of Debian's mdbtools as the independent reading of a
// Jet file, and the test files beside the project.
#include "programrun.h"
#include "testsupport.h"

#include <QStringList>

namespace kelvaro::test {

inline QString JetTestFile(const QString& name) { return TestDataDir() + QStringLiteral("/mdb/") + name; }

inline QString MdbTool(const QString& tool, const QStringList& args)
{
    const ProgramRun run = RunExecutable(tool, args, 60000);
    if (run.exitCode != 0) {
        ADD_FAILURE() << tool.toStdString() << " failed: " << run.err.toStdString();
        return {};
    }
    return run.outText();
}

// mdb-export's CSV: quoted fields with doubled quotes, line ends inside quotes.
inline QList<QStringList> ParseCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field, field.clear();
        } else if (c == '\n') {
            row << field, field.clear();
            rows << row, row.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

} // namespace kelvaro::test
