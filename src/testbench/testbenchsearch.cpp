// The searches and the speed test of the test bench.
#include "foundation/messages.h"
#include "foundation/textutil.h"
#include "mbus/wire/nativeprovider.h"
#include "testbench/addresswalk.h"
#include "testbench/busaction.h"
#include "testbench/testbench.h"

#include <QElapsedTimer>

namespace kelvaro::testbench {
namespace {

// Connections that live for one run.
class RunConnections {
public:
    ~RunConnections()
    {
        for (const QMetaObject::Connection& c : list_)
            QObject::disconnect(c);
    }
    RunConnections& operator<<(const QMetaObject::Connection& c)
    {
        list_ << c;
        return *this;
    }

private:
    QList<QMetaObject::Connection> list_;
};

QString seconds(qint64 ms) { return GermanNumber(ms / 1000.0, 1); }

} // namespace

void TestBench::cmdPrimSuchen()
{
    BusAction action(*this);
    mbus::NativeProvider* provider = action.useSlotProvider();
    if (!provider)
        return;
    primStopEnabled = true;
    primary_.stopSearch = false;
    primary_.stopSpeedTest = false;
    primary_.exchangeBroken = false;
    primary_.lineLostAt = -1;
    primary_.reset();
    resetFoundGrid(2);
    resetFoundGrid(PrimarySearch::kAddresses);
    setResultHeaders();

    const int from = static_cast<int>(Val(vonField));
    const int to = static_cast<int>(Val(bisField));
    const int span = std::max(0, std::min(to, PrimarySearch::kAddresses - 1) - std::max(from, 0) + 1);
    const int first = std::max(from, 0);
    const int boxes = static_cast<int>(tickedBauds().size());
    int base = 0;
    setProgress(0, std::max(1, span * boxes));

    RunConnections connections;
    connections << connect(&primary_, &PrimarySearch::addressTried, this, [&](int a) {
        foundGrid.setCell(a, 0, QString::number(a));
        setProgress(base + a - first + 1, span * boxes);
    });
    connections << connect(&primary_, &PrimarySearch::meterFound, this, [&](int a) {
        for (int c = 0; c < primary_.found[a].size(); ++c)
            foundGrid.setCell(a, c, primary_.found[a][c]);
        for (int r = resultGrid.rowCount(); r < primary_.results.rows.size(); ++r)
            resultGrid.appendRow(primary_.results.rows[r]);
    });
    connections << connect(&primary_, &PrimarySearch::statusChanged, this, [this](int index, const QString& text) {
        if (index >= 1 && index <= kBaudBoxes)
            statusLabels[index - 1] = text;
        emit changed();
    });
    connections << connect(&primary_, &PrimarySearch::elapsedChanged, this, [this](const QString& text) {
        elapsedLabel = text;
        emit changed();
    });
    emit changed();

    for (int i = 0; i < kBaudBoxes; ++i) {
        statusLabels[i].clear();
        if (baudBoxes[i]) {
            primary_.M_Bus_SuchenVonBisRac(*provider, portField(), SecondarySearch::kBaudRates[i], from, to, i + 1,
                                           searchTimeouts());
            base += span;
        }
        if (primary_.stopSearch || primary_.lineLost())
            break;
    }
    primStopEnabled = false;
}

void TestBench::cmdPrimStop()
{
    // The exchange under way is not broken: the answer already on the wire
    // is taken, and the search ends before the next address.
    primary_.stopSearch = true;
    primStopEnabled = false;
    emit changed();
}

void TestBench::cmdSpeedLesen()
{
    BusAction action(*this);
    mbus::NativeProvider* provider = action.useSlotProvider();
    if (!provider)
        return;
    const QString notOpen = OpenLineForRun(*provider, portField(), baudField(), readTimeouts());
    if (!notOpen.isEmpty()) {
        ShowMessageBox(notOpen);
        return;
    }
    speedStop_ = false;
    speedStopEnabled = true;
    setResultHeaders();
    const int from = std::max(0, static_cast<int>(Val(vonField)));
    const int to = std::min(PrimarySearch::kAddresses - 1, static_cast<int>(Val(bisField)));
    setProgress(0, std::max(1, to - from + 1));
    QElapsedTimer clock;
    clock.start();
    int count = 0;
    AddressWalkSteps steps;
    steps.stopRequested = [this] { return speedStop_; };
    steps.answered = [&](int a, bool answered) {
        if (answered)
            ++count;
        else if (!speedStop_)
            resultGrid.appendRow({QString::number(a), QStringLiteral(" Keine Antwort")});
        speedCount = QString::number(count);
        speedSeconds = seconds(clock.elapsed());
        setProgress(a - from + 1, to - from + 1);
        emit changed();
        return true;
    };
    const AddressWalkEnd end = WalkAddresses(*provider, from, to, steps);
    if (end.lineLost())
        resultGrid.appendRow({QString::number(end.lineLostAt),
                              QLatin1Char(' ') + LineLostText(*provider, QStringLiteral("Adr. ") + QString::number(end.lineLostAt))});
    provider->APPCloseCom();
    speedCount = QString::number(count);
    speedSeconds = seconds(clock.elapsed());
    speedStopEnabled = false;
}

void TestBench::cmdSpeedStop()
{
    speedStop_ = true;
    primary_.stopSpeedTest = true;
    if (speedStopEnabled && running_)
        running_->APPBreak();
    speedStopEnabled = false;
    emit changed();
}

void TestBench::cmdSekSuchen()
{
    BusAction action(*this);
    if (!action)
        return;
    resetFoundGrid(0);
    resultLabel.clear();
    for (QString& label : statusLabels)
        label.clear();
    sekAbbrechenEnabled = true;
    sekSuchenEnabled = false;
    // Always the MBusRacX4 provider, whatever the provider list says.
    const std::unique_ptr<mbus::NativeProvider> provider = newProvider();
    action.use(provider.get());
    mbus::ApplyTimeoutSettings(*provider, searchTimeouts());
    runSecondarySearch(*provider, tickedBauds(), true);
    provider->APPCloseCom();
    sekAbbrechenEnabled = false;
    sekSuchenEnabled = true;
}

void TestBench::cmdSekAbbrechen()
{
    secondary_.stop = true;
    if (sekAbbrechenEnabled && running_)
        running_->APPBreak();
    sekAbbrechenEnabled = false;
    emit changed();
}

void TestBench::runSecondarySearch(mbus::NativeProvider& provider, const QList<int>& bauds, bool wholeRun)
{
    const int n = std::max(1, static_cast<int>(bauds.size()));
    constexpr int kSteps = 1000;
    int baudIndex = -1;
    setProgress(0, n * kSteps);

    RunConnections connections;
    connections << connect(&secondary_, &SecondarySearch::maskChanged, this, [&](const QString& mask) {
        (wholeRun ? maskLabel : modemStatus) = mask;
        const double share = SearchTreeProgress(mask, wholeRun ? positionEntry : 0);
        setProgress(std::max(0, baudIndex) * kSteps + static_cast<int>(share * kSteps), n * kSteps);
        emit changed();
    });
    connections << connect(&secondary_, &SecondarySearch::baudChanged, this, [&](int baud) {
        ++baudIndex;
        baudLabel = QString::number(baud);
        emit changed();
    });
    connections << connect(&secondary_, &SecondarySearch::meterFound, this, [this](const QStringList& row) {
        for (int r = 0; r < foundGrid.rowCount(); ++r) {
            if (foundGrid.cell(r, 1) == row.value(1)) {
                foundGrid.setCell(r, 6, row.value(6));
                return;
            }
        }
        foundGrid.appendRow(row);
        showResultRows(secondary_.lastTelegram.rows);
        rawData = secondary_.lastTelegram.rawText;
    });
    connections << connect(&secondary_, &SecondarySearch::resultChanged, this, [this](const QString& text) {
        resultLabel = text;
        emit changed();
    });

    if (wholeRun) {
        secondary_.run(provider, portField(), bauds, positionEntry);
    } else {
        // Over a modem connection: the line stands, one baud rate.
        secondary_.stop = false;
        secondary_.lineLostAt.clear();
        secondary_.found.clear();
        secondary_.count = 0;
        ++baudIndex;
        secondary_.MBRac_SucheSekAdrAlle(provider, QStringLiteral("ffffffff"), 8, bauds.value(0));
    }
    if (!secondary_.stop)
        setProgress(n * kSteps, n * kSteps);
}

} // namespace kelvaro::testbench
