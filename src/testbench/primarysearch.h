#pragma once
#include "mbus/valuetable.h"
#include "mbus/wire/providerselect.h"

#include <QObject>
#include <QStringList>
#include <array>

namespace kelvaro::testbench {

// The primary address search of the test bench, without its window: the
// found-meter grid (row a = address a) and the result grid as data, the stop
// flags, and progress as signals.
class PrimarySearch : public QObject {
    Q_OBJECT
public:
    static constexpr int kAddresses = 251;
    static const QStringList& foundHeaders(); // "Pri", "ID", ... "Herst.Int"

    PrimarySearch();

    // Empties both grids (251 rows of ten cells).
    void reset();
    // Tries every address from..to at one baud rate; returns the number found.
    int M_Bus_SuchenVonBisRac(mbus::NativeProvider& provider, int port, int baud, int from, int to, int statusIndex,
                              const mbus::TimeoutSettings& timeouts);

    // Both stop flags end the search before its next address; the exchange
    // under way when they are set runs to its end and its answer is taken.
    bool stopSearch = false;     // "Stop" of the search frame
    bool stopSpeedTest = false;  // "Stop" of the speed-test frame
    // Set by whoever breaks the running exchange (closing the window): the
    // summary then names the address whose exchange was cut.
    bool exchangeBroken = false;
    // The line went away during the last run: it ended at once, at the
    // address whose exchange the loss cut; what was found before stays.
    bool lineLost() const { return lineLostAt >= 0; }
    int lineLostAt = -1;

    std::array<QStringList, kAddresses> found;
    mbus::TelegramDisplay results;
    std::array<QString, 7> statusLabels; // index 1..6 per baud box
    QString elapsedLabel;

signals:
    // Before the exchange with each address of the range.
    void addressTried(int address);
    void statusChanged(int index, const QString& text);
    void elapsedChanged(const QString& text);
    void meterFound(int address);
    void messageRaised(const QString& text);
};

} // namespace kelvaro::testbench
