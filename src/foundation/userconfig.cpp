#include "foundation/userconfig.h"

#include "foundation/cp1252.h"
#include "foundation/filenumbers.h"
#include "foundation/paths.h"
#include "foundation/safefile.h"

#include <QFile>

namespace kelvaro {

QByteArray ScrambleText(const QByteArray& text, unsigned char key)
{
    QByteArray out(text.size(), '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const unsigned char x = c ^ key;
        out[i] = static_cast<char>(x == 32 || x == 26 || x == 39 ? c : x);
    }
    return out;
}

QString ScrambleText(const QString& text, unsigned char key)
{
    return FromWin1252(ScrambleText(ToWin1252(text), key));
}

QString UserConfigPath()
{
    return QStringLiteral(".") + kDnqConfFile;
}

namespace {

QByteArray defaultUserConfig()
{
    static const char* const defaults[] = {"0", "0.0.0.0", "dbUserName", "dbPassword", "dbCatalog(sqlserver)",
                                           "SuperUser"};
    QByteArray content;
    for (const char* value : defaults) {
        if (!content.isEmpty())
            content += "\r\n";
        content += ScrambleText(QByteArray(value), kDnqKey);
    }
    return content;
}

} // namespace

bool WriteDefaultUserConfig()
{
    FileSlot slot;
    return ReplaceWholeFile(NativePath(UserConfigPath()), defaultUserConfig());
}

bool LoadUserConfig()
{
    // Created only where none exists, so settings another program writes at
    // the same moment are not replaced by the defaults.
    if (!QFile::exists(NativePath(UserConfigPath()))) {
        FileSlot slot;
        if (CreateWholeFile(NativePath(UserConfigPath()), defaultUserConfig()) == CreateResult::Failed)
            return false;
    }

    QByteArray bytes;
    {
        FileSlot slot;
        if (ReadWholeFile(NativePath(UserConfigPath()), bytes) != ReadResult::Read)
            return false;
    }

    std::array<QString, 6> loaded;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size() && i < qsizetype(loaded.size()); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        loaded[i] = FromWin1252(ScrambleText(line, kDnqKey));
    }
    DBConfig = loaded;
    return true;
}

} // namespace kelvaro
