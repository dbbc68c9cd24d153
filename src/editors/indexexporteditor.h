#pragma once
#include "editors/editorenvironment.h"
#include "editors/indexexportsettings.h"
#include "editors/indexgrid.h"
#include "editors/meterlistgrid.h"

#include <QObject>
#include <array>

namespace kelvaro {

// The index list editor "MBus Indexexport" without its window
// (frmMBusEditIndexExport): the meter list, the open meter's fields and index
// grid, the export settings. Every operation opens the editors' database and
// closes it again; a refused operation shows EditorDatabaseMessage and leaves
// the grids and the table as they were.
class IndexExportEditor : public QObject {
    Q_OBJECT
public:
    explicit IndexExportEditor(QObject* parent = nullptr);

    // Form load with the environment read at the program's edge: export
    // settings, `ListeLaden`, `InitGridIndex`, the schema check of both
    // index lists.
    void load(const EditorEnvironment& environment);
    const EditorEnvironment& environment() const { return environment_; }

    MeterListGrid list;                 // `MSFlexGrid1`
    IndexGrid indexGrid;                // `MSFlexGrid2`
    IndexExportSettings exportSettings; // `Text3`, `Text4`
    std::array<QString, 3> Text1;       // ZNr, ZName, MBAdr of the open meter

    bool ListeLaden();
    // Fills Text1 and the index grid (one empty row when the meter has none).
    bool MBusIndexListeLaden(qint64 lznr);
    // Replaces the meter's rows of MBusIndexListe by the grid's rows with a
    // numeric index, in one transaction; hides the frame when stored.
    bool IndexSpeichern(qint64 lznr, const GridModel& grid);

    // `cmdAendern` and the double click: opens the meter of a list row.
    bool openMeter(int listRow);
    void cmdNeu() { indexGrid.appendEmptyRow(); }
    bool cmdSpeichern() { return IndexSpeichern(openLznr_, indexGrid); }
    void cmdAbbrechen();
    // The delete buttons delete nothing here: `cmdLoeschen` opens the meter
    // with `cmdLoeschenausfuehren` shown, which closes the frame again.
    bool cmdLoeschen(int listRow);
    void cmdLoeschenausfuehren() { cmdAbbrechen(); }
    // The whole list with its caption row: tab-separated, CR LF after each line.
    QString clipboardText() const;

    bool frameVisible() const { return frameVisible_; }
    bool deleteButtonVisible() const { return deleteButtonVisible_; }
    qint64 openLznr() const { return openLznr_; }

Q_SIGNALS:
    void changed();

private:
    bool refused(const QString& reason);
    void checkIndexListColumns();

    EditorEnvironment environment_;
    qint64 openLznr_ = 0;
    bool frameVisible_ = false;
    bool deleteButtonVisible_ = false;
};

} // namespace kelvaro
