#pragma once
#include "consoles/logwindowmodel.h"
#include "mbus/provider.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/portdevice.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

namespace kelvaro {

// The serial console of one customer installation: opens a port itself, sends
// a selection frame, expects E5, fetches the data with REQ_UD2 to 253 and
// decodes the reply, logging every step. Every failure is a "FEHLER" line and
// leaves the port open, except a line that goes away: that ends the running
// exchange at once with "FEHLER Leitung verloren ..." and leaves the port
// closed until it is opened again.
class SerialConsole : public QObject {
    Q_OBJECT
public:
    SerialConsole(mbus::PortDirectory ports, LogWindowModel& log, QObject* parent = nullptr);

    static QList<int> baudRates() { return {19200, 9600, 4800, 2400, 1200, 300}; }

    // The sample selection strings, "label#hex list" or "label = hex list".
    const QStringList& selectionList() const { return selections_; }
    // The frame part of a list entry (after "#" or " = ").
    static QString frameOfEntry(const QString& entry);
    // The send field's default text.
    QString defaultSendText() const { return defaultSendText_; }
    // The first three frames of the list as bytes.
    const QList<QByteArray>& storedFrames() const { return storedFrames_; }

    // The port chosen in the window; messages about a port that is not open name it.
    void choosePort(int port) { chosenPort_ = port; }
    int chosenPort() const { return chosenPort_; }

    // One exchange per port at a time: while one runs (its waits keep the
    // event loop going) open, close, send and the speed test are refused.
    bool busy() const { return busy_; }

    // True when open; otherwise the message text is in `message`.
    bool open(int port, int baud, QString* message);
    // False (nothing closed) while an exchange runs.
    bool close();
    bool isOpen() const { return serial_.isOpen(); }
    QString stateText() const { return isOpen() ? QStringLiteral("Open ") : QStringLiteral("Close"); }

    // One exchange. False with `message` set when the port is not open or
    // the text is no frame; a bus failure is logged and returns false too.
    bool send(const QString& frameText, QString* message);

    // "Geschwindigkeitstest": one REQ_UD2 to each address from..to, as fast
    // as the line allows; a silent address costs one answer window.
    // `progress` is asked after every address and ends the test with false;
    // the log line then names the addresses actually asked.
    struct SpeedResult {
        int read = 0;
        int silent = 0;
        qint64 milliseconds = 0;
        bool stopped = false;
        int lineLostAt = -1; // the address whose request the line's loss cut
    };
    SpeedResult speedTest(int from, int to, const std::function<bool(const SpeedResult&)>& progress = {},
                          QString* message = nullptr);

    // The telegram of the last successful exchange.
    const mbus::MBusProvider& provider() const { return provider_; }
    bool hasValues() const { return provider_.hasTelegram(); }

    // Text of a provider receive-error number.
    static QString ReceiveErrorText(int error);

signals:
    // The port's line went away (also between exchanges); the port is closed.
    void lineLost(const QString& reason);

public:
    // Receive-error number of a decoding failure.
    static int ReceiveErrorOf(mbus::DecodeError error);

private:
    void LadeStrings();
    void logFailure(const QString& text);
    // When the line is gone: logs "FEHLER Leitung verloren <where> (<why>)",
    // sets the message and returns true.
    bool lineLostDuring(const QString& where, QString* message);
    bool refuseWhileBusy(QString* message) const;
    QString notOpenText() const;

    mbus::PortDirectory ports_;
    LogWindowModel& log_;
    mbus::BusPort serial_;
    mbus::MBusProvider provider_;
    int chosenPort_ = 0;
    bool busy_ = false;
    QStringList selections_;
    QList<QByteArray> storedFrames_;
    QString defaultSendText_;
};

} // namespace kelvaro
