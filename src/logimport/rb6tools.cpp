#include "logimport/rb6tools.h"

#include "foundation/filenumbers.h"
#include "foundation/gridmodel.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>
#include <cstring>

namespace kelvaro::logimport {
namespace {

constexpr qint64 kSecondsPerDay = 86400;

// Random access to the elements of one RB6 file, read only.
class ElementReader {
public:
    explicit ElementReader(const QString& fileName)
        : name_(fileName)
        , file_(NativePath(fileName))
    {
    }

    // Opens the file and reads its header; false (last-error text set) when it
    // cannot be read or its header is not sound.
    bool open(bool acceptDamagedHeader = false)
    {
        if (!file_.open(QIODevice::ReadOnly))
            return fail(file_.errorString());
        size_ = file_.size();
        for (int k = 1; k <= kRB6HeaderElements; ++k)
            if (!read(k, header_[k - 1]))
                return fail(QStringLiteral("Kopf unvollständig"));
        problem_ = RB6HeaderProblem(header_, size_);
        if (!problem_.isEmpty() && !acceptDamagedHeader)
            return fail(QStringLiteral("beschädigt: ") + problem_);
        lastIndex_ = problem_.isEmpty() ? static_cast<qint64>(header_[1].Wert) : 0;
        return true;
    }

    bool read(qint64 index, RB6Element& e)
    {
        char bytes[kRB6ElementSize];
        if (!file_.seek((index - 1) * kRB6ElementSize) || file_.read(bytes, kRB6ElementSize) != kRB6ElementSize)
            return false;
        e.Tm = qFromLittleEndian<qint32>(bytes);
        const quint64 bits = qFromLittleEndian<quint64>(bytes + 4);
        std::memcpy(&e.Wert, &bits, sizeof bits);
        return true;
    }

    // First data element at or after `time` (binary search: the master only
    // ever appends later times).
    bool search(qint64 time, RB6Position& position)
    {
        qint64 low = kRB6FirstDataIndex;
        qint64 high = lastIndex_ + 1;
        while (low < high) {
            const qint64 middle = low + (high - low) / 2;
            RB6Element e;
            if (!read(middle, e))
                return fail(QStringLiteral("Lesefehler bei Element %1").arg(middle));
            if (e.Tm < time)
                low = middle + 1;
            else
                high = middle;
        }
        position = {};
        position.index = std::max<qint64>(low, kRB6FirstDataIndex);
        if (position.index <= lastIndex_) {
            if (!read(position.index, position.element))
                return fail(QStringLiteral("Lesefehler bei Element %1").arg(position.index));
            position.found = true;
            position.exact = position.element.Tm == time;
        }
        return true;
    }

    bool fail(const QString& why)
    {
        SetLastErrorText(QStringLiteral("RB6-Datei %1: %2").arg(name_, why));
        return false;
    }

    qint64 size() const { return size_; }
    qint64 lastIndex() const { return lastIndex_; }
    const RB6Header& header() const { return header_; }
    const QString& problem() const { return problem_; }

private:
    FileSlot slot_;
    QString name_;
    QFile file_;
    qint64 size_ = 0;
    qint64 lastIndex_ = 0;
    RB6Header header_{};
    QString problem_;
};

QString timeText(qint64 seconds) { return GermanDateTime(SecondsToDate(seconds)); }

QString meaningOf(int element, const RB6Header& h)
{
    switch (element) {
    case 1:
        return QStringLiteral("Kennung (1; 1)");
    case 2:
        return QStringLiteral("letztes Element: Index %1, %2")
            .arg(GermanNumber(h[1].Wert), h[1].Tm == 0 ? QStringLiteral("noch kein Wert") : timeText(h[1].Tm));
    case 3:
        return QStringLiteral("Erzeugungswert 1");
    case 4:
        return QStringLiteral("Erzeugungswert 2");
    case 5:
        return QStringLiteral("Kapazität %1 Elemente; Erzeugungswert 3").arg(h[4].Tm);
    case 6:
        return QStringLiteral("Erzeugungswert 4");
    case 10:
    case 11:
        return QStringLiteral("frei (erster Wert überschreibt es)");
    default:
        return QStringLiteral("frei");
    }
}

} // namespace

bool RB6ReadInfo(const QString& fileName, RB6FileInfo& info)
{
    info = {};
    ElementReader reader(fileName);
    if (!reader.open(true))
        return false;
    info.fileSize = reader.size();
    info.header = reader.header();
    info.problem = reader.problem();
    if (!info.problem.isEmpty())
        return true;
    info.lastIndex = reader.lastIndex();
    info.capacity = info.header[4].Tm;
    info.valueCount = std::max<qint64>(0, info.lastIndex - kRB6FirstDataIndex + 1);
    if (info.valueCount > 0) {
        RB6Element first;
        if (!reader.read(kRB6FirstDataIndex, first))
            return reader.fail(QStringLiteral("Lesefehler bei Element %1").arg(kRB6FirstDataIndex));
        info.firstTime = first.Tm;
        info.lastTime = info.header[1].Tm;
    }
    return true;
}

void FillInfoGrid(GridModel& grid, const RB6FileInfo& info)
{
    grid.clearRows();
    grid.setHeaders({QStringLiteral("Element"), QStringLiteral("Tm"), QStringLiteral("Wert"), QStringLiteral("Bedeutung")});
    for (int k = 1; k <= kRB6HeaderElements; ++k) {
        const RB6Element& e = info.header[k - 1];
        grid.appendRow({QString::number(k), QString::number(e.Tm), GermanNumber(e.Wert), meaningOf(k, info.header)});
    }
}

QString InfoSummary(const RB6FileInfo& info)
{
    if (!info.problem.isEmpty())
        return QStringLiteral("Größe %1 Bytes; Kopf beschädigt: %2").arg(info.fileSize).arg(info.problem);
    QString text = QStringLiteral("Größe %1 Bytes; %2 Werte").arg(info.fileSize).arg(info.valueCount);
    if (info.valueCount > 0)
        text += QStringLiteral(" vom %1 bis %2").arg(timeText(info.firstTime), timeText(info.lastTime));
    return text + QStringLiteral("; Kapazität %1 Elemente").arg(info.capacity);
}

bool RB6SearchPosition(const QString& fileName, qint64 time, RB6Position& position)
{
    ElementReader reader(fileName);
    return reader.open() && reader.search(time, position);
}

bool FillRangeGrid(GridModel& grid, const QString& fileName, qint64 from, qint64 to)
{
    grid.clearRows();
    grid.setHeaders({QStringLiteral("Pos"), QStringLiteral("Tm"), QStringLiteral("Time"), QStringLiteral("Wert")});
    ElementReader reader(fileName);
    RB6Position start;
    if (!reader.open() || !reader.search(from, start))
        return false;
    for (qint64 k = start.index; k <= reader.lastIndex(); ++k) {
        RB6Element e;
        if (!reader.read(k, e))
            return reader.fail(QStringLiteral("Lesefehler bei Element %1").arg(k));
        if (e.Tm > to)
            break;
        grid.appendRow({QString::number(k), QString::number(e.Tm), timeText(e.Tm), GermanNumber(e.Wert)});
    }
    return true;
}

bool FillDayGrid(GridModel& grid, const QString& fileName, const QDate& day)
{
    grid.clearRows();
    grid.setHeaders({QStringLiteral("Peak-Nr"), QStringLiteral("Tm"), QStringLiteral("Time"), QStringLiteral("Diff-Tm"),
                     QStringLiteral("Verb"), QStringLiteral("Z-Stand")});
    if (!day.isValid())
        return false;
    const qint64 dayStart = DateToSeconds(QDateTime(day, QTime(0, 0), Qt::UTC));
    ElementReader reader(fileName);
    RB6Position start;
    if (!reader.open() || !reader.search(dayStart, start))
        return false;
    bool havePrevious = false;
    RB6Element previous;
    if (start.index > kRB6FirstDataIndex) {
        if (!reader.read(start.index - 1, previous))
            return reader.fail(QStringLiteral("Lesefehler bei Element %1").arg(start.index - 1));
        havePrevious = true;
    }
    for (qint64 k = start.index; k <= reader.lastIndex(); ++k) {
        RB6Element e;
        if (!reader.read(k, e))
            return reader.fail(QStringLiteral("Lesefehler bei Element %1").arg(k));
        if (e.Tm >= dayStart + kSecondsPerDay)
            break;
        const QString diff = havePrevious ? QString::number(qint64(e.Tm) - previous.Tm) : QString();
        const QString verb = havePrevious ? GermanNumber(e.Wert - previous.Wert) : QString();
        grid.appendRow({QString::number(k), QString::number(e.Tm), timeText(e.Tm), diff, verb, GermanNumber(e.Wert)});
        previous = e;
        havePrevious = true;
    }
    return true;
}

int RB6CreateTestFile(const QString& fileName, qint64 firstTime, qint64 count, int stepSeconds)
{
    if (QFileInfo(NativePath(fileName)).size() > 0) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1 enthält schon Daten; keine Testdatei geschrieben").arg(fileName));
        return kTestFileExists;
    }
    stepSeconds = std::max(1, stepSeconds);
    QString name = fileName;
    double value = 1000.0;
    for (qint64 k = 0; k < count; ++k) {
        const int rc = RB6Append(QString(), 0, firstTime + k * stepSeconds, value, 0, name);
        if (rc != RB6Ok)
            return rc;
        value += 0.25 * double(k % 4 + 1);
    }
    return RB6Ok;
}

QString TestFileReport(int rc, double seconds)
{
    return QStringLiteral("rc= %1 in %2 Sec").arg(rc).arg(GermanNumber(seconds, 3));
}

QString RB6FileForKey(const QString& directory, const QString& key)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*(\d{1,9})\s*(?:[/;]\s*(\d{1,3})\s*)?$)"));
    const auto m = pattern.match(key);
    if (!m.hasMatch())
        return {};
    const int slot = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    return RB6FileName(directory, m.captured(1).toLongLong(), slot);
}

} // namespace kelvaro::logimport
