#pragma once
#include "mbus/valuetable.h"

#include <QObject>
#include <QStringList>

namespace kelvaro::mbus {
class NativeProvider;
}

namespace kelvaro::testbench {

// Replaces character number 9 - position of the mask (positions count from
// the right: 1 is the last character).
void MB_GetSuchstring(QString& mask, int position, QChar digit);
// The start mask of position-list entry k: k zeros, then "f" up to eight characters.
QString StartMask(int leadingZeros);

// The share (0..1) of the search tree below the start mask of position-list
// entry k that lies before the probe of `mask`: digits are tried from 9 down,
// so "9fffffff" starts at 0 and "0fffffff" at 0.9.
double SearchTreeProgress(const QString& mask, int leadingZeros);

// "Leitung verloren bei Adr. 17 (/dev/ttyUSB0: Leitung aufgelegt)": where a
// run of the test bench ended because its line went away, and why.
QString LineLostText(mbus::NativeProvider& provider, const QString& where);

// 0 nobody answered, 1 several or garbled, 2 one meter selected and read,
// 3 one meter selected but no usable RSP_UD.
int MBRac_SucheSekAdr(mbus::NativeProvider& provider, const QString& mask);

// The secondary address search of the test bench without its window.
class SecondarySearch : public QObject {
    Q_OBJECT
public:
    static constexpr int kBaudBoxes = 6;
    static const int kBaudRates[kBaudBoxes]; // 9600, 4800, 2400, 1200, 600, 300

    // Depth-first search below `mask` from `position` down to 1.
    void MBRac_SucheSekAdrAlle(mbus::NativeProvider& provider, QString mask, int position, int baud);
    // Adds the selected meter (or its baud rate to its existing row).
    void MBRacZaehlerInListeEintragen(mbus::NativeProvider& provider, int baud, int primaryAddress);

    // "Sekundär Adressen suchen": every ticked baud rate from the start mask
    // of position-list entry k. Returns the number of meters found.
    int run(mbus::NativeProvider& provider, int port, const QList<int>& bauds, int leadingZeros = 0);

    bool stop = false;
    // The line went away: the run ended at once at this mask (empty: it did
    // not); the meters found before stay.
    QString lineLostAt;
    QList<QStringList> found; // eight cells per meter
    int count = 0;
    int selectionsSent = 0;
    QString resultLabel;
    mbus::TelegramDisplay lastTelegram;

signals:
    void maskChanged(const QString& mask);
    void baudChanged(int baud);
    void meterFound(const QStringList& row);
    void resultChanged(const QString& text);
};

} // namespace kelvaro::testbench
