#pragma once
// The independent reading of an interchange: the npm package "edifact"
// (tests/mscons/reader, installed by ./run setup) under node.
#include "programrun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <gtest/gtest.h>

namespace kelvaro::test {

struct ReadSegment {
    QString tag;
    QList<QStringList> elements;
    QString at(int element, int component = 0) const { return elements.value(element).value(component); }
};

inline QString ReaderScript() { return QStringLiteral(KELVARO_SOURCE_DIR "/tests/mscons/reader/read-interchange.js"); }

// The segments as the package reads them; a failure (package missing, or the
// interchange refused) is a test failure with the reader's words.
inline QList<ReadSegment> ReadInterchange(const QString& file, bool* refused = nullptr)
{
    const ProgramRun node = RunExecutable(QStringLiteral("node"), {ReaderScript(), file}, 30000);
    if (node.exitCode != 0) {
        if (refused)
            *refused = true;
        else
            ADD_FAILURE() << "edifact reader: " << node.err.toStdString()
                          << " (missing? ./run setup installs it into tests/mscons/reader)";
        return {};
    }
    QList<ReadSegment> segments;
    for (const QJsonValue& s : QJsonDocument::fromJson(node.out).array()) {
        ReadSegment segment{s[QStringLiteral("name")].toString(), {}};
        for (const QJsonValue& e : s[QStringLiteral("elements")].toArray()) {
            QStringList components;
            for (const QJsonValue& c : e.toArray())
                components << c.toString();
            segment.elements << components;
        }
        segments << segment;
    }
    return segments;
}

} // namespace kelvaro::test
