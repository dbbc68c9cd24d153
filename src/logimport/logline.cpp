#include "logimport/logline.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace kelvaro::logimport {
namespace {

constexpr std::size_t kMaxFields = 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Reads 1..maxDigits digits at s[pos]; advances pos.
bool readNumber(std::string_view s, std::size_t& pos, int minDigits, int maxDigits, int& out)
{
    int digits = 0;
    out = 0;
    while (pos < s.size() && isDigit(s[pos]) && digits < maxDigits) {
        out = out * 10 + (s[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits >= minDigits && (pos >= s.size() || !isDigit(s[pos]));
}

bool expect(std::string_view s, std::size_t& pos, char c)
{
    if (pos >= s.size() || s[pos] != c)
        return false;
    ++pos;
    return true;
}

// Days since 01.01.1970 of a proleptic Gregorian date.
qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int daysInMonth(int y, int m)
{
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[static_cast<std::size_t>(m - 1)];
}

bool parseInt(std::string_view text, int maxValue, int& out)
{
    if (text.empty() || text.size() > 6)
        return false;
    out = 0;
    for (char c : text) {
        if (!isDigit(c))
            return false;
        out = out * 10 + (c - '0');
    }
    return out <= maxValue;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Event lines of the master: its start/stop, read errors and store failures.
bool isEventText(std::string_view rest)
{
    rest = trimmed(rest);
    return startsWith(rest, "Datenholen") || startsWith(rest, "Fehler") || startsWith(rest, "Start ")
        || rest.find(";Lesefehler;") != std::string_view::npos;
}

// The master's time stamp ("dd.mm.yy hh:mm:ss", blanks after it allowed)
// at the end of a field, starting at `from` or later: the next line's time
// where a cut line lost its line end.
bool endsInTimeStamp(std::string_view field, std::size_t from)
{
    if (field.find(':') == std::string_view::npos)
        return false;
    qint64 seconds;
    for (std::size_t i = from; i + 2 < field.size(); ++i)
        if (isDigit(field[i]) && isDigit(field[i + 1]) && field[i + 2] == '.'
            && ParseLogTime(field.substr(i), seconds))
            return true;
    return false;
}

} // namespace

bool ParseLogTime(std::string_view text, qint64& seconds)
{
    const std::string_view s = trimmed(text);
    std::size_t pos = 0;
    int day, month, year, hour, minute, second = 0;
    if (!readNumber(s, pos, 1, 2, day) || !expect(s, pos, '.') || !readNumber(s, pos, 1, 2, month)
        || !expect(s, pos, '.'))
        return false;
    const std::size_t yearStart = pos;
    if (!readNumber(s, pos, 2, 4, year) || (pos - yearStart != 2 && pos - yearStart != 4))
        return false;
    if (pos - yearStart == 2)
        year += year < 30 ? 2000 : 1900; // the two-digit window of the installation's tools
    if (pos >= s.size() || s[pos] != ' ')
        return false;
    while (pos < s.size() && s[pos] == ' ')
        ++pos;
    if (!readNumber(s, pos, 1, 2, hour) || !expect(s, pos, ':') || !readNumber(s, pos, 2, 2, minute))
        return false;
    if (pos < s.size() && (!expect(s, pos, ':') || !readNumber(s, pos, 2, 2, second)))
        return false;
    if (pos != s.size())
        return false;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59
        || second > 59)
        return false;
    seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return seconds >= std::numeric_limits<qint32>::min() && seconds <= std::numeric_limits<qint32>::max();
}

bool ParseGermanNumber(std::string_view text, double& value)
{
    const std::string_view s = trimmed(text);
    // Room for every exact text of a double the master writes (up to 17
    // significant digits and a long run of zeros for tiny or huge values).
    std::array<char, 400> buffer;
    if (s.empty() || s.size() > buffer.size())
        return false;
    std::size_t pos = 0;
    std::size_t n = 0;
    if (s[pos] == '-' || s[pos] == '+') {
        if (s[pos] == '-')
            buffer[n++] = '-';
        ++pos;
    }
    std::size_t mantissaDigits = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        buffer[n++] = s[pos++];
        ++mantissaDigits;
    }
    if (pos < s.size() && s[pos] == ',') {
        buffer[n++] = '.';
        ++pos;
        while (pos < s.size() && isDigit(s[pos])) {
            buffer[n++] = s[pos++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (pos < s.size() && (s[pos] == 'E' || s[pos] == 'e')) {
        buffer[n++] = 'e';
        ++pos;
        if (pos < s.size() && (s[pos] == '-' || s[pos] == '+'))
            buffer[n++] = s[pos++];
        std::size_t exponentDigits = 0;
        while (pos < s.size() && isDigit(s[pos]) && exponentDigits < 4) {
            buffer[n++] = s[pos++];
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return false;
    }
    if (pos != s.size())
        return false;
    double parsed = 0;
    const auto [end, ec] = std::from_chars(buffer.data(), buffer.data() + n, parsed);
    if (ec != std::errc() || end != buffer.data() + n || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool ParseLogLine(std::string_view line, LogReading& r, SkipReason& reason)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) {
            reason = SkipReason::BadBytes;
            return false;
        }
    }
    if (startsWith(line, "Zeitstempel")) {
        reason = SkipReason::Header;
        return false;
    }
    if (trimmed(line).empty()) {
        reason = SkipReason::Event;
        return false;
    }

    std::array<std::string_view, kMaxFields> f;
    std::size_t separators = 0;
    std::size_t start = 0;
    for (std::size_t k = 0; k <= line.size(); ++k) {
        if (k == line.size() || line[k] == ';') {
            if (separators < kMaxFields)
                f[separators] = line.substr(start, k - start);
            if (k < line.size())
                ++separators;
            start = k + 1;
        }
    }
    const std::size_t fieldCount = separators + 1; // the text after the last ";" counts too
    const bool endsWithSeparator = !line.empty() && line.back() == ';';

    if (!ParseLogTime(f[0], r.time)) {
        reason = endsInTimeStamp(f[0], 1) ? SkipReason::Glued : SkipReason::BadTime;
        return false;
    }
    r.timeText = trimmed(f[0]);
    const std::string_view rest = separators > 0 ? line.substr(f[0].size() + 1) : std::string_view();
    if (separators == 0 || isEventText(rest)) {
        reason = SkipReason::Event;
        return false;
    }
    if (rest.find(':') != std::string_view::npos)
        for (std::size_t k = 1; k < std::min(fieldCount, kMaxFields); ++k)
            if (endsInTimeStamp(f[k], 0)) {
                reason = SkipReason::Glued;
                return false;
            }
    if (fieldCount > kMaxFields) {
        reason = SkipReason::Event;
        return false;
    }

    // Full layout; a name that itself holds ";" is taken from both ends.
    if (separators >= 8 && endsWithSeparator) {
        const std::size_t last = separators - 1; // the unit
        int port, address, index;
        if (!parseInt(f[last - 4], 255, port) || !parseInt(f[last - 3], 255, address)
            || !parseInt(f[last - 2], 999, index)) {
            reason = SkipReason::BadValue;
            return false;
        }
        if (!ParseGermanNumber(f[last - 1], r.value)) {
            reason = SkipReason::BadValue;
            return false;
        }
        r.port = port;
        r.address = address;
        r.index = index;
        r.id = f[1];
        const std::size_t nameStart = f[1].size() + 1;
        const std::size_t nameEnd = static_cast<std::size_t>(f[last - 4].data() - rest.data()) - 1;
        r.name = rest.substr(nameStart, nameEnd - nameStart);
        r.valueText = trimmed(f[last - 1]);
        r.shortLayout = false;
        return true;
    }

    // Short layout: time; address; index; value, with or without a final ";".
    const bool shortShape = separators == 3 || (separators == 4 && endsWithSeparator);
    int address, index;
    if (shortShape && parseInt(trimmed(f[1]), 255, address) && parseInt(trimmed(f[2]), 999, index)) {
        if (!ParseGermanNumber(f[3], r.value)) {
            reason = SkipReason::BadValue;
            return false;
        }
        r.port = -1;
        r.address = address;
        r.index = index;
        r.id = {};
        r.name = {};
        r.valueText = trimmed(f[3]);
        r.shortLayout = true;
        return true;
    }

    // What is left either starts like a full reading and stops early (cut) or
    // is some other line of the master.
    int number;
    const bool prefixOfReading = separators >= 2 && (separators < 4 || parseInt(f[3], 255, number))
        && (separators < 5 || parseInt(f[4], 255, number)) && (separators < 6 || parseInt(f[5], 999, number));
    reason = prefixOfReading && separators < 8 ? SkipReason::Cut : SkipReason::Event;
    return false;
}

QString SkipReasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::Header: return QStringLiteral("Kopfzeile");
    case SkipReason::Event: return QStringLiteral("Ereignis- oder andere Zeile");
    case SkipReason::Cut: return QStringLiteral("abgeschnittene Zeile");
    case SkipReason::Glued: return QStringLiteral("abgeschnittene Zeile ohne Zeilenende");
    case SkipReason::BadTime: return QStringLiteral("Zeitstempel ungültig");
    case SkipReason::BadValue: return QStringLiteral("Wert ungültig");
    case SkipReason::BadBytes: return QStringLiteral("ungültige Zeichen");
    case SkipReason::NoMeter: return QStringLiteral("kein Zähler");
    case SkipReason::NotStored: return QStringLiteral("nicht gespeichert");
    case SkipReason::Ambiguous: return QStringLiteral("Zähler nicht eindeutig");
    case SkipReason::Older: return QStringLiteral("älter als der letzte Wert");
    case SkipReason::Count: break;
    }
    return {};
}

} // namespace kelvaro::logimport
