#include "foundation/ini.h"

#include "foundation/cp1252.h"
#include "foundation/filenumbers.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/safefile.h"
#include "foundation/textutil.h"

#include <QFileInfo>

#include <vector>

namespace kelvaro {
namespace {

constexpr int kMaxValueLength = 254;

struct Line {
    QString text;   // without line end
    QByteArray end; // "\r\n", "\n" or empty for the last line
};

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        if (nl < 0) {
            lines.push_back({FromWin1252(bytes.mid(start)), {}});
            break;
        }
        const bool cr = nl > start && bytes[nl - 1] == '\r';
        lines.push_back({FromWin1252(bytes.mid(start, nl - start - (cr ? 1 : 0))), cr ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

bool readFile(const QString& file, QByteArray& bytes)
{
    FileSlot slot;
    return ReadWholeFile(NativePath(file), bytes) == ReadResult::Read;
}

// Name of a section header line, or a null string for any other line.
QString sectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith('['))
        return {};
    const int close = t.indexOf(']');
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

// Key of a "key=value" line, or a null string for comments and other lines.
QString keyName(const QString& line, QString* value = nullptr)
{
    const QString t = line.trimmed();
    if (t.startsWith(';'))
        return {};
    const int eq = line.indexOf('=');
    if (eq < 0)
        return {};
    if (value)
        *value = line.mid(eq + 1);
    return line.left(eq).trimmed();
}

bool sameName(const QString& a, const QString& b) { return a.compare(b.trimmed(), Qt::CaseInsensitive) == 0; }

// Index range [first, last) of the body of the first matching section; first = -1 if none.
std::pair<int, int> findSection(const std::vector<Line>& lines, const QString& section)
{
    int first = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const QString name = sectionName(lines[i].text);
        if (name.isNull())
            continue;
        if (first >= 0)
            return {first, i};
        if (sameName(name, section))
            first = i + 1;
    }
    return {first, static_cast<int>(lines.size())};
}

int findKey(const std::vector<Line>& lines, std::pair<int, int> range, const QString& key)
{
    for (int i = range.first; i < range.second; ++i) {
        const QString name = keyName(lines[i].text);
        if (!name.isNull() && sameName(name, key))
            return i;
    }
    return -1;
}

QString valueOf(const std::vector<Line>& lines, const QString& section, const QString& key)
{
    const auto range = findSection(lines, section);
    if (range.first < 0)
        return {};
    const int at = findKey(lines, range, key);
    if (at < 0)
        return {};
    QString value;
    keyName(lines[at].text, &value);
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value.left(kMaxValueLength);
}

void setValue(std::vector<Line>& lines, const QString& section, const QString& key, const QString& value)
{
    const auto range = findSection(lines, section);
    if (range.first < 0) {
        if (!lines.empty() && lines.back().end.isEmpty())
            lines.back().end = "\r\n";
        lines.push_back({'[' + section + ']', "\r\n"});
        lines.push_back({key + '=' + value, "\r\n"});
    } else if (const int at = findKey(lines, range, key); at >= 0) {
        lines[at].text = keyName(lines[at].text) + '=' + value;
    } else {
        // After the last non-blank line of the section, so blank separators stay below.
        int insertAt = range.second;
        while (insertAt > range.first && lines[insertAt - 1].text.trimmed().isEmpty())
            --insertAt;
        if (insertAt > 0 && lines[insertAt - 1].end.isEmpty())
            lines[insertAt - 1].end = "\r\n";
        lines.insert(lines.begin() + insertAt, Line{key + '=' + value, "\r\n"});
    }
}

// Several programs of an installation write the same INI file: the whole
// read-change-replace runs under the file's lock, on the file as it is now.
// With `isSet` a value another program has set meanwhile is kept and
// returned in `kept`.
using IsSet = bool (*)(const QString& value);

bool updateIni(const QString& section, const QString& key, const QString& value, const QString& file,
               IsSet isSet = nullptr, QString* kept = nullptr)
{
    QString why;
    FileLock lock(IniLockPath(file));
    if (!lock.lock(&why)) {
        SetLastErrorText(QStringLiteral("%1 kann nicht geschrieben werden: %2").arg(file, why));
        return false;
    }
    // Resolved under the lock: the spelling created first serves all.
    const QString path = NativePath(file);
    FileSlot slot;
    QByteArray bytes;
    const ReadResult read = ReadWholeFile(path, bytes, &why);
    if (read == ReadResult::Failed) {
        SetLastErrorText(QStringLiteral("%1 kann nicht gelesen werden: %2").arg(file, why));
        return false;
    }
    std::vector<Line> lines = splitLines(bytes);
    if (isSet) {
        const QString current = valueOf(lines, section, key);
        if (isSet(current)) {
            if (kept)
                *kept = current;
            return true;
        }
    }
    setValue(lines, section, key, value);

    QByteArray out;
    out.reserve(bytes.size() + key.size() + value.size() + section.size() + 8);
    for (const Line& line : lines)
        out += ToWin1252(line.text) + line.end;
    if (read == ReadResult::Read && out == bytes)
        return true;
    if (!ReplaceWholeFile(path, out, &why)) {
        SetLastErrorText(QStringLiteral("%1 kann nicht geschrieben werden: %2").arg(file, why));
        return false;
    }
    return true;
}

} // namespace

QString IniLockPath(const QString& file)
{
    const QFileInfo native(NativePath(file));
    return native.path() + '/' + native.fileName().toLower();
}

QString ReadIniString(const QString& section, const QString& key, const QString& file)
{
    QByteArray bytes;
    if (!readFile(file, bytes))
        return {};
    return valueOf(splitLines(bytes), section, key);
}

QStringList ReadIniKeys(const QString& section, const QString& file)
{
    QByteArray bytes;
    if (!readFile(file, bytes))
        return {};
    const std::vector<Line> lines = splitLines(bytes);
    const auto range = findSection(lines, section);
    QStringList keys;
    for (int i = std::max(0, range.first); range.first >= 0 && i < range.second; ++i) {
        const QString name = keyName(lines[i].text);
        if (!name.isEmpty() && !keys.contains(name, Qt::CaseInsensitive))
            keys << name;
    }
    return keys;
}

bool WriteIniString(const QString& section, const QString& key, const QString& value, const QString& file)
{
    return updateIni(section, key, value, file);
}

QString ReadIniStringOrDefault(const QString& section, const QString& key, const QString& file,
                               const QString& defaultValue)
{
    const QString value = ReadIniString(section, key, file);
    if (!value.isEmpty())
        return value;
    QString kept;
    const IsSet isSet = [](const QString& v) { return !v.isEmpty(); };
    if (updateIni(section, key, defaultValue, file, isSet, &kept) && isSet(kept))
        return kept;
    return defaultValue;
}

int ReadIniNumberOrDefault(const QString& section, const QString& key, const QString& file, int defaultValue)
{
    const int value = static_cast<int>(Val(ReadIniString(section, key, file)));
    if (value != 0)
        return value;
    QString kept;
    const IsSet isSet = [](const QString& v) { return static_cast<int>(Val(v)) != 0; };
    if (updateIni(section, key, QString::number(defaultValue), file, isSet, &kept) && isSet(kept))
        return static_cast<int>(Val(kept));
    return defaultValue;
}

} // namespace kelvaro
