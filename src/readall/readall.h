#pragma once
#include "mbus/wire/providerselect.h"
#include "readall/readallsettings.h"

#include <QDateTime>
#include <QString>
#include <functional>

namespace kelvaro::mbus {
class MBusProvider;
class NativeProvider;
}

namespace kelvaro::readall {

inline const QString kReadFailed = QStringLiteral("FehlerBeimLesen");
inline constexpr int kReadAllBaud = 9600;

// "<directory><yymmdd>mb.txt" in native spelling.
QString ResultFilePath(const QString& directory, const QDate& day);

// One meter's line (without line end): date "yymmdd", address, then value and
// unit text of each record that holds a value (TelegramItems), all separated
// by tabs; a failed read ends in "FehlerBeimLesen".
struct MeterLine {
    bool read = false;
    QStringList items; // value, unit, value, unit ...
};
QString FormatMeterLine(const QDate& day, int address, const MeterLine& line);

// The items the provider's last telegram adds to a line: value and unit of
// each record that holds a value. Dates and times are written as the decoder
// shows them ("29.06.2013 12:12", no unit); manufacturer data behind DIF 0F or
// 1F and records without data add nothing, so the fields of an answer spread
// over several telegrams line up with those of the telegrams read one by one.
// A meter's "no value yet" marker keeps its pair, with an empty value.
QStringList TelegramItems(const mbus::MBusProvider& provider);

// Reads the primary addresses 1 .. count of one port at 9600 Bd through the
// native provider and appends one line per meter to the day's result file.
class ReadAll {
public:
    explicit ReadAll(mbus::NativeProvider& provider);

    mbus::TimeoutSettings timeouts;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // Called after each meter with the address done and the count.
    std::function<void(int address, int count)> progress;

    struct Summary {
        int read = 0;
        int failed = 0;
        // False when the port could not be opened: every address failed
        // (error holds "Fehler Open Com <n>").
        bool portOpened = true;
        bool written = true; // false when a line could not be appended (error holds why)
        bool cancelled = false;
        int stoppedBefore = 0; // when cancelled: the first address not read
        QString error;
    };
    Summary readAll(const ReadAllFields& fields);
    // The running read ends before its next meter; the meter being read is finished.
    void cancel() { cancelled_ = true; }
    bool running() const { return running_; }

    // One meter by primary address on the open port.
    MeterLine readMeter(int address);

private:
    mbus::NativeProvider& provider_;
    bool cancelled_ = false;
    bool running_ = false;
};

// "<read> gelesen, <failed> Fehler", and where a cancelled read stopped.
QString SummaryText(const ReadAll::Summary& summary);

// The exit code of one unattended read ("mbus-readall Start"), in the codes of
// kelvaro-cli: 4 the port could not be opened, 5 a line could not be written,
// 128 + the signal when a termination signal ended it early, 1 no meter
// answered (also a count of 0), 0 at least one meter read.
int StartExitCode(const ReadAll::Summary& summary, int terminationSignal);

} // namespace kelvaro::readall
