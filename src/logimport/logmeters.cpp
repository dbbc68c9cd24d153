#include "logimport/logmeters.h"

#include "foundation/cp1252.h"
#include "foundation/lasterror.h"
#include "foundation/textutil.h"

#include <QHash>
#include <QSqlQuery>

namespace kelvaro::logimport {
namespace {

const QString kMeterQuery = QStringLiteral(
    " SELECT zaehler.LZNR, zaehler.MBComP, zaehler.MBAdr, zaehler.MB_ID, zaehler.MBIndex, zaehler.zname "
    " FROM zaehler Where ((zaehler.Stufe > 0) And (zaehler.ZQuelle = 'M-Bus'))");
const QString kStoreQuery =
    QStringLiteral(" SELECT MB_IndexListe.LZNR, MB_IndexListe.MBIndex, MB_IndexListe.Speichern FROM MB_IndexListe");

std::string win1252(const QString& text)
{
    const QByteArray bytes = ToWin1252(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string_view bytes(const std::string& s) { return s; }

} // namespace

bool LogMeters::load(const EditorDatabaseSettings& database, QString& error)
{
    EditorDatabase db(database, QStringLiteral("kelvaro.logimport"));
    if (!db.isOpen()) {
        error = EditorDatabaseMessage(database, db.errorText());
        return false;
    }
    std::vector<LogMeter> meters;
    QHash<qint64, std::size_t> byLznr;
    QSqlQuery q;
    if (!db.connection().query(q, kMeterQuery)) {
        error = EditorDatabaseMessage(database, db.errorText());
        return false;
    }
    while (q.next()) {
        LogMeter m;
        m.lznr = q.value(0).toLongLong();
        m.port = q.value(1).toInt();
        m.address = q.value(2).isNull() ? 0 : q.value(2).toInt();
        QString id = q.value(3).isNull() ? QString() : q.value(3).toString();
        ReplaceAll(id, QStringLiteral("f"), QString());
        m.id = win1252(id);
        m.mainIndex = q.value(4).toInt();
        m.name = win1252(q.value(5).isNull() ? QString() : q.value(5).toString());
        byLznr.insert(m.lznr, meters.size());
        meters.push_back(std::move(m));
    }
    QSqlQuery s;
    if (!db.connection().query(s, kStoreQuery)) {
        error = EditorDatabaseMessage(database, db.errorText());
        return false;
    }
    while (s.next()) {
        const auto it = byLznr.constFind(s.value(0).toLongLong());
        const int index = s.value(1).toInt();
        if (it == byLznr.constEnd() || index < 0 || index > kMaxLogIndex)
            continue;
        meters[*it].store.set(static_cast<std::size_t>(index), s.value(2).toBool());
    }
    setMeters(std::move(meters));
    return true;
}

void LogMeters::setMeters(std::vector<LogMeter> meters)
{
    meters_ = std::move(meters);
    byPortAddress_.assign(256 * 256, -1);
    byAddress_.assign(256, -1);
    nextSamePortAddress_.assign(meters_.size(), -1);
    nextSameAddress_.assign(meters_.size(), -1);
    for (int k = static_cast<int>(meters_.size()) - 1; k >= 0; --k) {
        const LogMeter& m = meters_[static_cast<std::size_t>(k)];
        if (m.port < 0 || m.port > 255 || m.address < 0 || m.address > 255)
            continue;
        int& first = byPortAddress_[static_cast<std::size_t>(m.port * 256 + m.address)];
        nextSamePortAddress_[static_cast<std::size_t>(k)] = first;
        first = k;
        int& firstOfAddress = byAddress_[static_cast<std::size_t>(m.address)];
        nextSameAddress_[static_cast<std::size_t>(k)] = firstOfAddress;
        firstOfAddress = k;
    }
}

LogMeter* LogMeters::find(const LogReading& r, SkipReason& reason)
{
    reason = SkipReason::NoMeter;
    if (r.address < 0 || r.address > 255 || byAddress_.empty())
        return nullptr;
    LogMeter* found = nullptr;
    int matches = 0;
    if (r.shortLayout) {
        for (int k = byAddress_[static_cast<std::size_t>(r.address)]; k >= 0;
             k = nextSameAddress_[static_cast<std::size_t>(k)]) {
            LogMeter& m = meters_[static_cast<std::size_t>(k)];
            if (m.mainIndex == r.index) {
                found = &m;
                ++matches;
            }
        }
    } else {
        if (r.port < 0 || r.port > 255)
            return nullptr;
        int named = 0;
        LogMeter* foundByName = nullptr;
        for (int k = byPortAddress_[static_cast<std::size_t>(r.port * 256 + r.address)]; k >= 0;
             k = nextSamePortAddress_[static_cast<std::size_t>(k)]) {
            LogMeter& m = meters_[static_cast<std::size_t>(k)];
            if (bytes(m.id) != r.id)
                continue;
            found = &m;
            ++matches;
            if (bytes(m.name) == r.name) {
                foundByName = &m;
                ++named;
            }
        }
        if (matches > 1 && named == 1)
            return foundByName;
    }
    if (matches > 1) {
        reason = SkipReason::Ambiguous;
        return nullptr;
    }
    return found;
}

} // namespace kelvaro::logimport
