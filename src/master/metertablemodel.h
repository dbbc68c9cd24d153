#pragma once
#include "master/meterrecord.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace kelvaro::master {

// The port's meter list: the meter records themselves and the meter grid
// (MSFlexGrid1) as a table over them. Meters are numbered from 1, as the
// grid rows of the station always were; model row r shows meter r + 1.
class MeterTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        PrimAdrColumn,
        BaudColumn,
        OkCountColumn,    // "Gelesen", empty until the meter was tried
        ErrorCountColumn, // "LeseFehler"
        LastReadColumn,   // empty, "Ok" or "Fehler"
        MeterIdColumn,    // "Z-Nummer": MB_ID
        TariffGroupColumn, // "Energie"
        ColumnCount
    };

    explicit MeterTableModel(QObject* parent = nullptr);

    int meterCount() const { return static_cast<int>(meters_.size()); }
    bool contains(int number) const { return number >= 1 && number <= meterCount(); }
    const MeterRecord& meter(int number) const { return meters_.at(number - 1); }
    // For the fields a reading fills (values, index list); the fields the
    // grid shows change through the functions below.
    MeterRecord& record(int number) { return meters_[number - 1]; }

    void setMeters(const QList<MeterRecord>& meters);
    // A new cycle: no meter tried yet.
    void clearLastRead();
    // The meter's reading in this cycle: counted, "Ok" or "Fehler".
    void countReading(int number, bool ok);

    // Items of the index list view's meter chooser (Combo3), as the last
    // list load made them: address ";" MB_ID ";" BasisTarif.
    const QStringList& chooserItems() const { return chooser_; }
    void setChooserItems(const QStringList& items) { chooser_ = items; }

    static QString lastReadText(LastRead lastRead);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString text(const MeterRecord& meter, int column) const;

    QList<MeterRecord> meters_;
    QStringList chooser_;
};

} // namespace kelvaro::master
