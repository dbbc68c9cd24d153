#include "master/metertablemodel.h"

namespace kelvaro::master {
namespace {

const QStringList kHeaders{QStringLiteral("PrimAdr"), QStringLiteral("Baud"),     QStringLiteral("Gelesen"),
                           QStringLiteral("LeseFehler"), QStringLiteral("LastRead"), QStringLiteral("Z-Nummer"),
                           QStringLiteral("Energie")};

} // namespace

MeterTableModel::MeterTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void MeterTableModel::setMeters(const QList<MeterRecord>& meters)
{
    beginResetModel();
    meters_ = meters;
    endResetModel();
}

void MeterTableModel::clearLastRead()
{
    for (MeterRecord& m : meters_)
        m.lastRead = LastRead::NotTried;
    if (!meters_.isEmpty())
        emit dataChanged(index(0, LastReadColumn), index(rowCount() - 1, LastReadColumn), {Qt::DisplayRole});
}

void MeterTableModel::countReading(int number, bool ok)
{
    MeterRecord& m = record(number);
    if (ok) {
        ++m.OkCount;
        m.lastRead = LastRead::Ok;
    } else {
        ++m.ErrorCount;
        m.lastRead = LastRead::Failed;
    }
    emit dataChanged(index(number - 1, OkCountColumn), index(number - 1, LastReadColumn), {Qt::DisplayRole});
}

QString MeterTableModel::lastReadText(LastRead lastRead)
{
    switch (lastRead) {
    case LastRead::Ok: return QStringLiteral("Ok");
    case LastRead::Failed: return QStringLiteral("Fehler");
    case LastRead::NotTried: break;
    }
    return {};
}

QString MeterTableModel::text(const MeterRecord& m, int column) const
{
    // The counts appear once the meter has been tried since the list was loaded.
    const bool tried = m.OkCount != 0 || m.ErrorCount != 0;
    switch (column) {
    case PrimAdrColumn: return PrimAdrText(m);
    case BaudColumn: return QString::number(m.MBBaud);
    case OkCountColumn: return tried ? QString::number(m.OkCount) : QString();
    case ErrorCountColumn: return tried ? QString::number(m.ErrorCount) : QString();
    case LastReadColumn: return lastReadText(m.lastRead);
    case MeterIdColumn: return m.MB_ID;
    case TariffGroupColumn: return m.tariffGroupName;
    default: return {};
    }
}

int MeterTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : meterCount(); }

int MeterTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant MeterTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return text(meters_.at(index.row()), index.column());
}

QVariant MeterTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return kHeaders.value(section);
    return section + 1;
}

} // namespace kelvaro::master
