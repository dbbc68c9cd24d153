#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <gtest/gtest.h>

namespace kelvaro::test {

// A fresh installation directory as the working directory of a test: client
// variables reset, message boxes recorded instead of shown.
class InstallationDir {
public:
    InstallationDir();
    ~InstallationDir();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& content) const;
    QByteArray read(const QString& name) const;
    const QStringList& messages() const { return messages_; }
    // The title of each message, in the same order.
    const QStringList& messageTitles() const { return titles_; }
    // Questions take this answer from now on instead of their default.
    void answerQuestions(bool yes) { answer_ = yes; }

private:
    QTemporaryDir dir_;
    QString previous_;
    QStringList messages_;
    QStringList titles_;
    std::optional<bool> answer_;
};

// Directory of the shared test data; empty (and the test skipped) when absent.
QString TestDataDir();
#define KELVARO_REQUIRE_TESTDATA()                                                                                      \
    if (::kelvaro::test::TestDataDir().isEmpty())                                                                       \
    GTEST_SKIP() << "shared test data not found beside the project"

} // namespace kelvaro::test
