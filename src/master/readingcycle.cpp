#include "master/readingcycle.h"

#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"
#include "foundation/timeutil.h"
#include "foundation/paths.h"
#include "foundation/programlog.h"
#include "foundation/textutil.h"
#include "master/addressingnotes.h"
#include "master/logview.h"
#include "master/meterlist.h"
#include "master/meterstoring.h"
#include "master/metertablemodel.h"
#include "master/supervision.h"
#include "mbus/wire/eventwait.h"
#include "mbus/wire/nativeprovider.h"
#include "storage/mbuslog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

namespace kelvaro::master {

namespace {

// The line went away during the exchange, or the line that was there a meter
// ago cannot be opened (its device is gone).
bool lineGone(mbus::MeterReadOutcome outcome)
{
    return outcome == mbus::MeterReadOutcome::LineLost || outcome == mbus::MeterReadOutcome::PortNotOpened;
}

} // namespace

qint64 NextStartFor(qint64 now, double interval)
{
    const auto i = static_cast<qint64>(interval);
    if (i <= 0)
        return 0;
    return now / i * i + i;
}

ReadingCycle::ReadingCycle(MeterTableModel& meters, LogView& log, mbus::BusPort& comm1, QObject* parent)
    : QObject(parent)
    , meters_(meters)
    , log_(log)
    , comm1_(comm1)
{
    durations.setHeaders({QStringLiteral("Zyklus-Zeiten")});
}

ReadingCycle::~ReadingCycle()
{
    closing_ = true;
    closeDatabase();
}

void ReadingCycle::stop()
{
    stopRequested_ = true;
    wake();
}

void ReadingCycle::resume() { stopRequested_ = false; }

void ReadingCycle::abort()
{
    closing_ = true;
    wake();
    closeDatabase();
    if (provider_)
        provider_->APPCloseCom();
}

void ReadingCycle::cmdWeiter()
{
    StepWait = false;
    wake();
}

void ReadingCycle::wake()
{
    if (stepLoop_)
        stepLoop_->quit();
}

CycleEnd ReadingCycle::run(const CycleSetup& setup)
{
    Busy = true;
    stopRequested_ = false;
    emit status(QStringLiteral("Start jetzt"));
    QElapsedTimer cycleClock;
    cycleClock.start();
    meters_.clearLastRead();
    addressingNoted_.clear();
    otherMeterNoted_.clear();

    log_.add(QStringLiteral("Öffne Datenbank"));
    provider_.reset();
    rb6Names_ = RB6FileNames();
    rb6Gate_.emplace(RB6Directory(DatenPath), setup.settings->rb6ImportWaitBoundMs(),
                     RB6ImportGate::Hooks{[this](const QString& t) { log_.add(t); },
                                          [this](const QString& t) { emit status(t); },
                                          [this] { return stopRequested_ || closing_; }});
    const bool withDatabase = setup.settings->store[StoreSwitch::Database];
    if (!withDatabase || openDatabase(setup)) {
        QString error;
        provider_ = mbus::LoadMBusPovider(mbus::ProviderOleV2, setup.settings->ports, &error);
        if (!error.isEmpty())
            emit message(error);
        if (provider_)
            mbus::ApplyTimeoutSettings(*provider_, setup.settings->timeouts);
        log_.add(QStringLiteral("Starte Auslesen"));
        if (provider_ && lineAway_)
            lineBack(setup); // still away: the passes count every meter as not read
    }

    CycleEnd end = CycleEnd::Done;
    for (int pass = 1; pass <= 2; ++pass) {
        if (!runPass(setup)) {
            // Nothing of the end of the pass or cycle runs, but the cycle's
            // database work is not left open until the next one.
            closeDatabase();
            end = CycleEnd::Stopped;
            break;
        }
        if (setup.settings->store[StoreSwitch::Database])
            closeDatabase();
        durations.insertRow(0, {GermanNumber(cycleClock.elapsed() / 1000.0, 1) + QStringLiteral(" s")});
        if (stopRequested_ || pass == 2 || lineAway_)
            break;
    }
    if (end == CycleEnd::Done) {
        if (durations.rowCount() >= 4)
            durations.removeRowsFrom(3);
        // Also after single runs, when they are started again and again.
        log_.trim();
        exportIndexes(setup);
    }
    if (rb6Gate_->skipped() > 0)
        log_.add(QStringLiteral("RB6 nicht gespeichert für %1 Zähler").arg(rb6Gate_->skipped()));
    rb6Gate_.reset();
    // The manual readings open the line with providers of their own.
    provider_.reset();
    Busy = false;
    return end;
}

bool ReadingCycle::runPass(const CycleSetup& setup)
{
    if (!provider_)
        return true; // the reload found no meters for the port
    const int count = meters_.meterCount();
    for (int r = 1; r <= count && meters_.contains(r); ++r) {
        if (stopRequested_ || closing_)
            break;
        if (meters_.meter(r).lastRead != LastRead::Ok && lineAway_) {
            afterFailure(r, mbus::MeterReadOutcome::LineLost, setup);
        } else if (meters_.meter(r).lastRead != LastRead::Ok) {
            emit status(QStringLiteral("Lese %1 von %2").arg(r).arg(count));
            if (setup.stepMode)
                waitForStep();
            else
                mbus::PauseWithEvents(static_cast<int>(setup.meterPause * 1000));
            if (closing_)
                return false;
            emit rowSelected(r);
            mbus::MeterReadOutcome outcome = readMeter(r, setup);
            if (r == 1 && outcome != mbus::MeterReadOutcome::TakenOver && !lineGone(outcome)) {
                log_.add(QStringLiteral("Nochmal ersten lesen"));
                outcome = readMeter(r, setup);
            }
            emit rowSelected(r);
            if (outcome == mbus::MeterReadOutcome::TakenOver) {
                meters_.countReading(r, true);
                store(r, setup);
            } else {
                if (lineGone(outcome))
                    lineLost(setup);
                afterFailure(r, outcome, setup);
            }
        }
        if (stopRequested_)
            return false;
    }
    return true;
}

mbus::MeterReadOutcome ReadingCycle::readMeter(int number, const CycleSetup& setup)
{
    if (!provider_)
        return mbus::MeterReadOutcome::ExchangeFailed; // fails like an unanswered meter
    MeterRecord& meter = meters_.record(number);
    if (meter.MBComP == 0)
        meter.MBComP = static_cast<quint8>(setup.port);
    // The test meters are read at their primary address by design.
    if (!setup.testMeters)
        note(addressingNoted_, number, AddressingNote(meter, mbus::AddressingOf(meter)));
    const mbus::MeterReadOutcome outcome = mbus::ReadMeter(comm1_, *provider_, meter);
    if (outcome == mbus::MeterReadOutcome::OtherMeter)
        note(otherMeterNoted_, number, OtherMeterNote(meter, provider_->APPDeviceIDDec()));
    return outcome;
}

void ReadingCycle::note(QSet<int>& noted, int number, const QString& text)
{
    if (text.isEmpty() || noted.contains(number))
        return;
    noted.insert(number);
    log_.add(text);
    WriteProgramLog(text);
}

void ReadingCycle::afterFailure(int number, mbus::MeterReadOutcome outcome, const CycleSetup& setup)
{
    meters_.countReading(number, false);
    const MeterRecord& meter = meters_.meter(number);
    WriteMBusLogLine(QStringLiteral("%1;Lesefehler;%2;rc=%3")
                         .arg(PrimAdrText(meter))
                         .arg(meter.ErrorCount)
                         .arg(mbus::MeterReadCode(outcome)));
    if (setup.client == QLatin1String("1450") && number == 1)
        supervise(*setup.settings);
}

QString ReadingCycle::lineName(const CycleSetup& setup) const
{
    return setup.settings->ports.deviceFor(setup.port);
}

void ReadingCycle::lineLost(const CycleSetup& setup)
{
    if (lineAway_)
        return;
    lineAway_ = true;
    // The device's words: a hang-up, a closed connection, or why it does not open.
    mbus::BusPort& port = provider_->port().isLineLost() || !comm1_.isLineLost() ? provider_->port() : comm1_;
    const QString reason = port.errorText();
    const QString text = QStringLiteral("Verbindung zu %1 verloren").arg(lineName(setup));
    log_.add(text);
    WriteProgramLog(text + QStringLiteral(" (") + reason + ')');
    WriteMBusLogLine(text);
}

bool ReadingCycle::lineBack(const CycleSetup& setup)
{
    const int baud = meters_.meterCount() > 0 && meters_.meter(1).MBBaud > 0 ? meters_.meter(1).MBBaud : 2400;
    if (provider_->APPInitCom(setup.port, baud) != 0)
        return false;
    lineAway_ = false;
    const QString text = QStringLiteral("Verbindung zu %1 wieder hergestellt").arg(lineName(setup));
    log_.add(text);
    WriteProgramLog(text);
    WriteMBusLogLine(text);
    return true;
}

void ReadingCycle::store(int number, const CycleSetup& setup)
{
    StoreContext context;
    context.switches = setup.settings->store;
    context.values = valuesOpen_ ? &values_ : nullptr;
    context.readings = readingsOpen_ ? &readings_ : nullptr;
    context.rb6Names = &rb6Names_;
    context.client = setup.client;
    context.port = setup.port;
    context.testMeter = setup.testMeters;
    context.log = [this](const QString& t) { log_.add(t); };
    const bool rb6 = context.switches[StoreSwitch::RB6Files] && rb6Gate_;
    if (rb6 && !rb6Gate_->enter()) {
        // An import is rebuilding the RB6 files from the day logs: the values
        // go there, so that an import brings them into the RB6 files later.
        context.switches.set(StoreSwitch::RB6Files, false);
        context.switches.set(StoreSwitch::MBusLog, true);
    }
    MBusZaehlerSpeichern(context, meters_.record(number));
    if (rb6)
        rb6Gate_->leave();
}

bool ReadingCycle::openDatabase(const CycleSetup& setup)
{
    if (!MBOpenDatenbank()) {
        log_.add(QStringLiteral("Fehler Öffne Datenbank"));
        WriteMBusLogLine(QStringLiteral("Fehler : Öffne Datenbank"));
        return true; // the cycle goes on with the list it has
    }
    const int count = BM_ZaehlerlisteLadenComPort(DBConnection(), setup.port,
                                                  {meters_, [this](const QString& t) { log_.add(t); },
                                                   [this](const QString& t) { emit message(t); }});
    if (count <= 0) {
        // The grid keeps what it shows; without a provider the pass reads nothing.
        log_.add(QStringLiteral("Kelvaro : Keine Zähler für Com") + QString::number(setup.port));
        return false;
    }
    log_.add(QStringLiteral("Kelvaro Timer1 : Anz Zähler für Com%1 = %2").arg(setup.port).arg(count));
    valuesOpen_ = OpenMBusWerte(values_);
    if (!valuesOpen_)
        WriteMBusLogLine(QStringLiteral("Fehler : Öffne MBWerteliste"));
    readingsOpen_ = OpenZaehlerstaende(readings_);
    if (!readingsOpen_)
        WriteMBusLogLine(QStringLiteral("Fehler : Öffne rsZaehlerstaende"));
    return true;
}

void ReadingCycle::closeDatabase()
{
    const bool wasOpen = valuesOpen_ || readingsOpen_;
    values_.close();
    readings_.close();
    valuesOpen_ = readingsOpen_ = false;
    if (wasOpen || DBConnection().isOpen())
        DBConnection().close();
}

void ReadingCycle::exportIndexes(const CycleSetup& setup)
{
    const IndexExportSettings& settings = setup.settings->indexExport;
    if (!settings.on || setup.testMeters)
        return;
    QList<const MeterRecord*> meters;
    QList<qint32> lznrs;
    for (int r = 1; r <= meters_.meterCount(); ++r) {
        meters << &meters_.meter(r);
        lznrs << meters_.meter(r).LZNR;
    }
    QList<ExportedIndex> indexes;
    QString error;
    const bool wasOpen = DBConnection().isOpen();
    const bool loaded = MBOpenDatenbank() && LoadExportedIndexes(DBConnection(), lznrs, indexes, error);
    if (!loaded && error.isEmpty())
        error = LastErrorText();
    if (!wasOpen)
        DBConnection().close();
    if (!loaded) {
        log_.add(QStringLiteral("Fehler Index-Export : ") + error);
        WriteMBusLogLine(QStringLiteral("Fehler beim Index-Export : ") + error);
        return;
    }
    QStringList failures;
    const int failed = indexExport_.exportCycle(settings, indexes, meters, SecondsToDate(setup.now), &failures);
    if (failed > 0) {
        const QString text = QStringLiteral("Fehler beim Index-Export : %1 von %2 Zeilen nicht geschrieben (%3)")
                                 .arg(failed)
                                 .arg(indexes.size())
                                 .arg(failures.first());
        log_.add(text);
        WriteMBusLogLine(text);
        WriteProgramLog(text);
    }
}

void ReadingCycle::waitForStep()
{
    StepWait = true;
    emit stepWaiting(true);
    while (StepWait && !stopRequested_ && !closing_) {
        QEventLoop loop;
        stepLoop_ = &loop;
        loop.exec();
        stepLoop_ = nullptr;
    }
    StepWait = false;
    emit stepWaiting(false);
}

void ReadingCycle::supervise(const StationSettings& settings)
{
    const QString state = ServiceStateText(CheckService(settings.serviceName));
    WriteMBusLogLine(QStringLiteral("Fehler ") + state);
    log_.add(state);
    const QString reset = TibboReset(settings.TibboIP, static_cast<quint16>(settings.TibboPort.toUInt()))
        ? QStringLiteral("Tibbo Reset Ok")
        : QStringLiteral("Tibbo Reset false");
    WriteMBusLogLine(QStringLiteral("Fehler ") + reset);
    log_.add(reset);
}

void ReadingCycle::launchKorvanisWhenDue(const CycleSetup& setup)
{
    if (!setup.settings->store[StoreSwitch::Korvanis] || setup.now < NextKorvanis)
        return;
    launchKorvanis(setup);
    NextKorvanis = NextStartFor(setup.now, setup.settings->KorvanisIntervall);
}

void ReadingCycle::launchKorvanis(const CycleSetup& setup)
{
    // The sibling program: a configured command, else Korvanis(.exe) in the
    // installation directory. Started without waiting.
    QString program = setup.settings->korvanisProgram;
    if (program.isEmpty())
        program = QFileInfo::exists(QStringLiteral("Korvanis.exe")) ? QStringLiteral("./Korvanis.exe")
                                                                    : QStringLiteral("./Korvanis");
    const QStringList args{QStringLiteral("-M") + setup.client, QStringLiteral("AutoBerechnen")};
    if (!QProcess::startDetached(NativePath(program), args))
        log_.add(QStringLiteral("Korvanis nicht gestartet: ") + program + ' ' + args.join(' '));
}

} // namespace kelvaro::master
