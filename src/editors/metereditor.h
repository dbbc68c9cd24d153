#pragma once
#include "editors/editordatabase.h"
#include "editors/meterindexgrid.h"
#include "editors/meterinput.h"
#include "editors/meterlistgrid.h"

#include <QObject>

namespace kelvaro {

// The meter list editor without its window: the client's M-Bus meters, one
// meter's master data and index list, and the operations on them. Every
// operation opens the editors' database and closes it again; one that fails
// shows a message, changes nothing stored and leaves the grids as they were.
class MeterEditor : public QObject {
    Q_OBJECT
public:
    MeterEditor(EditorDatabaseSettings database, const QString& client, QObject* parent = nullptr);

    static QString caption() { return QStringLiteral("MBus-Zähler bearbeiten"); }
    // The title of the delete questions.
    static QString questionTitle() { return caption() + QStringLiteral(" beenden"); }

    MeterListGrid list;
    MeterIndexGrid indexGrid;
    MeterFields fields;

    bool ListeLaden();
    // Fills the fields and the index grid; 0 or an unknown key leaves them empty.
    bool MBusZaehlerLaden(qint64 lznr);
    // Writes the fields (a new meter when the key is unknown) and the index
    // rows whose index the table holds, in one transaction. Empty Anzeigen
    // cells become "false", empty Speichern cells "True". A field or cell that
    // cannot be stored as typed is named in a message and nothing is written.
    // MB_ID is written only when it differs from what the load found, so an
    // ID filled meanwhile by the test bench's import stays. Afterwards the
    // fields and cells show the values as stored. The key of the meter
    // written, 0 on failure.
    qint64 MBusZaehlerSpeichern(qint64 lznr);

    // Edit mode: the meter being edited (0 for a new one) and the list row to
    // return to (-1 after Neu).
    bool editing() const { return editing_; }
    qint64 openMeter() const { return openLznr_; }
    int rememberedRow() const { return rememberedRow_; }

    bool cmdAendern(int listRow);
    bool cmdNeu();
    // Saves and returns to the list, reselecting the remembered row; stays in
    // edit mode when the save fails.
    bool cmdSpeichern();
    void cmdAbbrechen();
    // Asked first (No is the default): the meter of the list row with its
    // index list, or the open meter's index list.
    bool cmdLoeschen(int listRow);
    bool cmdLoeschenausfuehren();
    // Replaces the index list of `target` (the selection dialog's result) by
    // the grid's rows, without Speichern. Nothing happens for "" or the open
    // meter itself, nor (with a message) when the grid is empty or holds a
    // cell that cannot be stored.
    bool copyIndexList(const QString& target);
    // Whether the grid can be copied: false, with the message, for an empty
    // grid or a bad cell. Asked before a target is chosen.
    bool canCopyIndexList();
    // The statement and caption of the target choice.
    static QString copyTargetSql();
    static QString copyTargetCaption() { return QStringLiteral("M-Buszählerliste"); }

Q_SIGNALS:
    void modeChanged(bool editing);

private:
    bool deleteIndexList(SqlConnection& db, qint64 lznr);
    bool copySource(QList<CheckedIndexRow>& rows);
    void warnWithoutTariffGroup(SqlConnection& db);
    bool failed(EditorDatabase& db);
    void setEditing(bool editing);

    EditorDatabaseSettings database_;
    bool olderColumns_ = false;
    bool columnsChecked_ = false;
    bool editing_ = false;
    qint64 openLznr_ = 0;
    QString loadedId_;
    int rememberedRow_ = 0;
};

} // namespace kelvaro
