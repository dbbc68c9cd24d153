// Saved lists, the clipboard text and the imports into the client database.
#include "data/dbconnection.h"
#include "foundation/lasterror.h"
#include "foundation/messages.h"
#include "foundation/clientpaths.h"
#include "foundation/paths.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "mbus/wire/nativeprovider.h"
#include "testbench/busaction.h"
#include "testbench/foundmeterlist.h"
#include "testbench/indeximport.h"
#include "testbench/listimport.h"
#include "testbench/testbench.h"

#include <QDir>

namespace kelvaro::testbench {
namespace {

// Saved lists and "MBusImportIndex.txt" lie in the installation directory.
const QString kListDirectory = QStringLiteral(".\\");
const QString kImportIndexFile = QStringLiteral("MBusImportIndex.txt");

bool openDatabase(SqlConnection& db)
{
    if (OpenClientDatabase(db))
        return true;
    ShowMessageBox(QStringLiteral("Fehler beim öffnen der Datenbank ") + DBPATH + QStringLiteral("\r") + LastErrorText());
    return false;
}

void showIfAny(const QString& message)
{
    if (!message.isEmpty())
        ShowMessageBox(message);
}

} // namespace

QString TestBench::importIndexFile() const { return NativePath(kListDirectory + kImportIndexFile); }

void TestBench::cmdSpeichern()
{
    const ListSaveResult saved = SaveFoundMeterList(foundRows(), NativePath(kListDirectory), LocalNow());
    showIfAny(saved.message);
    refreshTestFiles();
}

QString TestBench::clipboardText() const
{
    QStringList lines{foundGrid.headers().join(QLatin1Char('\t'))};
    for (const QStringList& row : foundRows())
        if (IsMeterRow(row))
            lines << row.join(QLatin1Char('\t'));
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

void TestBench::refreshTestFiles()
{
    testFiles = TestFiles(NativePath(kListDirectory));
    emit changed();
}

void TestBench::cmdListeLesen()
{
    loadList(chosenTestFile.isEmpty() ? kImportIndexFile : chosenTestFile);
}

void TestBench::testFileChosen(const QString& name)
{
    chosenTestFile = name;
    if (!name.isEmpty())
        loadList(name);
    emit changed();
}

void TestBench::loadList(const QString& file)
{
    BusAction action(*this);
    if (!action)
        return;
    const ListReadResult list = ReadFoundMeterList(NativePath(kListDirectory + file));
    if (!list.ok) {
        ShowMessageBox(list.error);
        return;
    }
    foundGrid.clearRows();
    for (const QStringList& row : list.rows)
        foundGrid.appendRow(row);
    importStatus = QString::number(list.rows.size()) + QStringLiteral(" Zähler aus ") + file;
}

void TestBench::cmdImportIndex()
{
    BusAction action(*this);
    if (!action)
        return;
    SqlConnection db(QStringLiteral("testbench.indeximport"));
    if (!openDatabase(db))
        return;
    const IndexImportResult result = ImportIndex(db, Mandant, portField(), static_cast<int>(Val(fields.primAdr)),
                                                 idField, resultRows());
    if (result.outcome == IndexImportOutcome::Imported)
        importStatus = QStringLiteral("Imp Idx LZNR %1: %2 Werte").arg(result.lznr).arg(result.rowsWritten);
    showIfAny(result.message);
}

void TestBench::cmdImportListe()
{
    const int port = ListImportPort(chosenTestFile, portField());
    if (port != portField() && port != 0)
        setComPort(QString::number(port));
    importList(port);
}

void TestBench::cmdInDBSpeichern() { importList(portField()); }

void TestBench::importList(int port)
{
    BusAction action(*this);
    if (!action || port == 0)
        return;
    SqlConnection db(QStringLiteral("testbench.listimport"));
    if (!openDatabase(db))
        return;
    const ListImportResult result = ImportListIntoDatabase(db, port, foundRows());
    importStatus = QStringLiteral("%1 neu, %2 geändert").arg(result.added).arg(result.updated);
    showIfAny(result.message);
}

void TestBench::cmdImportAlleIndex()
{
    BusAction action(*this);
    mbus::NativeProvider* provider = action.useSlotProvider();
    if (!provider)
        return;
    const int port = portField();
    SqlConnection db(QStringLiteral("testbench.allindex"));
    if (!openDatabase(db))
        return;
    // Each meter is read at its own baud rate; the baud field where it has none.
    QList<PortMeter> meters;
    if (!QueryPortMeters(db, port, -1, meters)) {
        ShowMessageBox(LastErrorText());
        return;
    }
    QHash<int, int> baudOf;
    for (const PortMeter& m : meters)
        if (!m.address.isNull() && m.baud > 0)
            baudOf.insert(m.address.toInt(), m.baud);

    importStop_ = false;
    importAbbrechenEnabled = true;
    importReport.clear();
    setProgress(0, std::max<int>(1, meters.size()));
    emit changed();
    AllIndexCallbacks callbacks;
    callbacks.readMeter = [&](int address) {
        const QString baud = QString::number(baudOf.value(address, baudField()));
        MeterRows rows = RowsOfReading(mbus::M_Bus_Auslesen(providerKind, provider, address, port, baud, readTimeouts()));
        if (provider->port().isLineLost()) {
            rows.lineLost = true;
            rows.error = provider->port().lineLostText();
        }
        return rows;
    };
    callbacks.stopRequested = [this] { return importStop_; };
    callbacks.progress = [this](int done, int total, const QString& line) {
        importReport << line;
        importStatus = line;
        setProgress(done, std::max(1, total));
        emit changed();
    };
    const AllIndexResult result = ImportAllIndex(db, Mandant, port, callbacks);
    importAbbrechenEnabled = false;
    importStatus = QStringLiteral("%1 von %2 Zählern importiert").arg(result.imported).arg(result.meters);
    if (result.cancelled)
        importStatus += QStringLiteral(", abgebrochen");
    if (!result.lineLostAt.isNull())
        importStatus += QStringLiteral(", ") + LineLostText(*provider, QStringLiteral("Adr. ") + result.lineLostAt.toString());
    showIfAny(result.message);
}

void TestBench::cmdImportAbbrechen()
{
    importStop_ = true;
    if (importAbbrechenEnabled && running_)
        running_->APPBreak();
    importAbbrechenEnabled = false;
    emit changed();
}

} // namespace kelvaro::testbench
