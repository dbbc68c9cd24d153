#include "testsupport.h"

#include "foundation/clientpaths.h"
#include "foundation/messages.h"

#include <QDir>
#include <QFile>

namespace kelvaro::test {

InstallationDir::InstallationDir()
    : previous_(QDir::currentPath())
{
    QDir::setCurrent(dir_.path());
    ResetClient();
    SetMessageHandler({[this](const QString& text, const QString& title) {
                           messages_ << text;
                           titles_ << title;
                       },
                       [this](const QString& text, bool defaultYes, const QString& title) {
                           messages_ << text;
                           titles_ << title;
                           return answer_.value_or(defaultYes);
                       },
                       {}});
}

InstallationDir::~InstallationDir()
{
    ClearMessageHandler();
    ResetClient();
    QDir::setCurrent(previous_);
}

void InstallationDir::write(const QString& name, const QByteArray& content) const
{
    const QString path = file(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    f.write(content);
}

QByteArray InstallationDir::read(const QString& name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString TestDataDir()
{
    const QString dir = QStringLiteral(KELVARO_TESTDATA_DIR);
    return QDir(dir).exists() ? QDir(dir).absolutePath() : QString();
}

} // namespace kelvaro::test
