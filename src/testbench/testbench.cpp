#include "testbench/testbench.h"

#include "foundation/lasterror.h"
#include "foundation/messages.h"
#include "foundation/termination.h"
#include "foundation/textutil.h"
#include "mbus/hexlist.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/nativeprovider.h"
#include "testbench/busaction.h"
#include "testbench/sampletelegram.h"

#include <QElapsedTimer>

namespace kelvaro::testbench {
namespace {

void writeChecked(bool written)
{
    if (!written)
        ShowMessageBox(LastErrorText());
}

QList<QStringList> rowsOf(const GridModel& grid)
{
    QList<QStringList> rows;
    for (int r = 0; r < grid.rowCount(); ++r)
        rows << grid.rowCells(r);
    return rows;
}

} // namespace

const QString TestBench::kAccessWord = QStringLiteral("qvxnk");

TestBench::TestBench(QObject* parent)
    : QObject(parent)
{
    foundGrid.setHeaders(PrimarySearch::foundHeaders());
    setResultHeaders();
    resetFoundGrid(PrimarySearch::kAddresses);
    connect(&primary_, &PrimarySearch::messageRaised, this, [](const QString& text) { ShowMessageBox(text); });
}

TestBench::~TestBench() = default;

void TestBench::load(const QString& commandLine)
{
    fullSize_ = commandLine.contains(kAccessWord, Qt::CaseInsensitive);
    ResolveTestBenchClient(commandLine);
    fields = LoadTestBenchFields();
    ports_ = mbus::LoadPortDirectory();
    providerKind = mbus::MB_ProviderListeLaden(0);
    QString error;
    provider_ = mbus::LoadMBusPovider(providerKind, ports_, &error);
    if (!error.isEmpty())
        ShowMessageBox(error);
    timeoutFieldsEnabled = providerKind == mbus::ProviderOleV2;
    positionChosen(0);
    resetFoundGrid(PrimarySearch::kAddresses);
    setResultHeaders();
    refreshTestFiles();
    emit changed();
}

void TestBench::setPrimAdr(const QString& text)
{
    fields.primAdr = text;
    writeChecked(WritePrimAdr(text));
}

void TestBench::setComPort(const QString& text)
{
    fields.comPort = text;
    writeChecked(WriteComPort(text));
}

void TestBench::setBaud(const QString& text)
{
    fields.baud = text;
    writeChecked(WriteBaud(text));
}

void TestBench::setReadTimeout(int field, const QString& text)
{
    if (field < 0 || field >= kTimeoutFields)
        return;
    fields.readTimeouts[field] = text;
    writeChecked(WriteTimeoutField(field, text));
}

void TestBench::setSearchTimeout(int field, const QString& text)
{
    if (field < 0 || field >= kTimeoutFields)
        return;
    fields.searchTimeouts[field] = text;
    writeChecked(WriteTimeoutField(field, text));
}

void TestBench::providerChosen(int kind)
{
    // The provider slot is in use while a bus action runs; the list keeps its entry.
    if (busy_ || kind < 0 || kind > mbus::ProviderNone) {
        emit changed();
        return;
    }
    providerKind = kind;
    mbus::SaveProviderKind(0, kind);
    QString error;
    provider_ = mbus::LoadMBusPovider(kind, ports_, &error);
    if (!error.isEmpty())
        ShowMessageBox(error);
    timeoutFieldsEnabled = kind == mbus::ProviderOleV2;
    emit changed();
}

void TestBench::positionChosen(int entry)
{
    positionEntry = std::clamp(entry, 0, 7);
    startMask = StartMask(positionEntry);
    maskLabel = startMask;
    emit changed();
}

void TestBench::foundRowDoubleClicked(int row)
{
    if (row < 0 || row >= foundGrid.rowCount() || foundGrid.cell(row, 0).isEmpty())
        return;
    setPrimAdr(foundGrid.cell(row, 0));
    const QString firstBaud = foundGrid.cell(row, 6).section(QLatin1Char(';'), 0, 0);
    if (!firstBaud.isEmpty())
        setBaud(firstBaud);
    idField = foundGrid.cell(row, 1);
    emit changed();
}

void TestBench::cmdLesenPrim()
{
    BusAction action(*this);
    mbus::NativeProvider* provider = action.useSlotProvider();
    if (!provider)
        return;
    QElapsedTimer clock;
    clock.start();
    const mbus::PrimaryReading reading = mbus::M_Bus_Auslesen(providerKind, provider, static_cast<int>(Val(fields.primAdr)),
                                                              portField(), fields.baud, readTimeouts());
    if (!reading.message.isEmpty()) {
        ShowMessageBox(reading.message);
        return;
    }
    header = reading.header;
    rawData = reading.display.rawText;
    showResultRows(reading.display.rows);
    // The telegrams that came before the loss stay on show.
    if (provider->port().isLineLost())
        resultGrid.appendRow({LineLostText(*provider, QStringLiteral("Adr. ") + QString::number(Val(fields.primAdr)))});
    else
        resultGrid.appendRow({QStringLiteral("Gelesen in ") + GermanNumber(clock.elapsed() / 1000.0, 2)
                              + QStringLiteral(" s")});
}

void TestBench::cmdSekLesen()
{
    BusAction action(*this);
    if (!action)
        return;
    header.idRaw.clear();
    header.idDec.clear();
    header.manufacturer.clear();
    emit changed();
    const std::unique_ptr<mbus::NativeProvider> provider = newProvider();
    action.use(provider.get());
    mbus::ApplyTimeoutSettings(*provider, readTimeouts());
    provider->APPInitCom(portField(), baudField());
    if (!provider->APPIsComOpen()) {
        ShowMessageBox(QStringLiteral("Fehler"));
        return;
    }
    // The ID field names the meter once a found-meter row has been chosen.
    const QString address = idField.trimmed().isEmpty() ? fields.primAdr.trimmed() : idField.trimmed();
    const int rc = mbus::MB_ReadSekAdrRac(*provider, address);
    if (provider->port().isLineLost()) {
        setResultHeaders();
        resultGrid.appendRow({mbus::SecondaryMask(address),
                              QLatin1Char(' ') + LineLostText(*provider, QStringLiteral("Sekundäradresse ") + address)});
    } else if (rc == 0) {
        showTelegram(*provider);
        showHeader(*provider);
    } else if (rc == 1) {
        ShowMessageBox(QStringLiteral("Antwort von mehreren Zählern."));
    } else {
        setResultHeaders();
        resultGrid.appendRow({mbus::SecondaryMask(address),
                              QStringLiteral(" Fehler : ") + MB_ReceiveErrorText(provider->APPReceiveError())});
    }
    provider->APPCloseCom();
}

void TestBench::cmdTestTelegramm()
{
    BusAction action(*this);
    if (!action)
        return;
    QString error;
    const std::unique_ptr<mbus::NativeProvider> provider = mbus::LoadMBusPovider(providerKind, ports_, &error);
    if (!provider) {
        ShowMessageBox(error.isEmpty() ? mbus::kNoProviderMessage : error);
        return;
    }
    if (provider->APPInterpretTelegramHex(PadHexList(SampleTelegramText())) != 0) {
        ShowMessageBox(QStringLiteral("APPReceiveError = ") + QString::number(provider->APPReceiveError()));
        return;
    }
    showTelegram(*provider);
    showHeader(*provider);
}

void TestBench::stopAll()
{
    primary_.stopSearch = true;
    primary_.stopSpeedTest = true;
    speedStop_ = true;
    secondary_.stop = true;
    importStop_ = true;
    if (running_) {
        primary_.exchangeBroken = true;
        running_->APPBreak();
    }
    // A modem line is not left standing.
    if (modemProvider_ && running_ == modemProvider_.get())
        cmdAuflegen();
    else if (modemProvider_ && !busy_)
        hangUpNow();
}

int TestBench::telStatus() const { return modemProvider_ ? modemProvider_->TELStatus() : 3; }

void TestBench::setProgress(int value, int maximum)
{
    progressValue = value;
    progressMaximum = maximum;
    emit progressChanged(value, maximum);
}

void TestBench::resetFoundGrid(int rows)
{
    foundGrid.clearRows();
    foundGrid.setRowCount(rows);
    // The grid no longer holds the chosen list: its port must not decide
    // where "&Import Liste in DB" writes what a search finds.
    chosenTestFile.clear();
}

void TestBench::setResultHeaders()
{
    resultGrid.setHeaders({QStringLiteral("Prim/[Index]"), QStringLiteral("Medium"), QStringLiteral("Meßart"),
                           QStringLiteral("Wert"), QStringLiteral("Einh.")});
    resultGrid.clearRows();
}

void TestBench::showResultRows(const QList<QStringList>& rows)
{
    setResultHeaders();
    for (const QStringList& row : rows)
        resultGrid.appendRow(row);
}

void TestBench::showTelegram(const mbus::MBusProvider& provider)
{
    const mbus::TelegramDisplay display = mbus::MB_TelegrammAnzeigen(provider);
    showResultRows(display.rows);
    rawData = display.rawText;
    emit changed();
}

void TestBench::showHeader(const mbus::MBusProvider& provider)
{
    header = {provider.APPManufacturerIDAsc(),       QString::number(provider.APPManufacturerID()),
              QString::number(provider.APPGenerationNo()), QString::number(provider.APPDeviceID(), 16),
              provider.APPDeviceIDDec(),             provider.APPMediumAsc()};
    emit changed();
}

mbus::NativeProvider* TestBench::slotProvider()
{
    if (!provider_)
        ShowMessageBox(mbus::kNoProviderMessage);
    return provider_.get();
}

std::unique_ptr<mbus::NativeProvider> TestBench::newProvider() const
{
    return mbus::LoadMBusPovider(mbus::ProviderOleV2, ports_);
}

int TestBench::portField() const { return static_cast<int>(Val(fields.comPort)); }
int TestBench::baudField() const { return static_cast<int>(Val(fields.baud)); }
mbus::TimeoutSettings TestBench::readTimeouts() const { return TimeoutsOf(fields.readTimeouts, fields.network); }
mbus::TimeoutSettings TestBench::searchTimeouts() const { return TimeoutsOf(fields.searchTimeouts, fields.network); }

QList<int> TestBench::tickedBauds() const
{
    QList<int> bauds;
    for (int i = 0; i < kBaudBoxes; ++i)
        if (baudBoxes[i])
            bauds << SecondarySearch::kBaudRates[i];
    return bauds;
}

QList<QStringList> TestBench::foundRows() const { return rowsOf(foundGrid); }
QList<QStringList> TestBench::resultRows() const { return rowsOf(resultGrid); }

} // namespace kelvaro::testbench
