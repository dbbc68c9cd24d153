#include "master/masterstation.h"

#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/filenumbers.h"
#include "foundation/lasterror.h"
#include "foundation/programlog.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "foundation/userconfig.h"
#include "master/meterlist.h"
#include "master/supervision.h"
#include "storage/mbuslog.h"

namespace kelvaro::master {

MasterStation::MasterStation(QObject* parent)
    : QObject(parent)
    , cycle(meters, log, comm1_)
    , manual(meters, log, comm1_)
    , clock_(&LocalNow)
{
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &MasterStation::timerTick);
    connect(&log, &LogView::line, this, &MasterStation::logLine);
    connect(&cycle, &ReadingCycle::status, this, &MasterStation::setLabel1);
    connect(&cycle, &ReadingCycle::rowSelected, this, &MasterStation::rowSelected);
    connect(&cycle, &ReadingCycle::stepWaiting, this, [this](bool waiting) {
        cmdWeiterEnabled = waiting;
        emit stateChanged();
    });
    connect(&cycle, &ReadingCycle::message, this, [this](const QString& text) { emit message(text, {}); });
    connect(&manual, &ManualReading::message, this, [this](const QString& text) { emit message(text, {}); });
}

MasterStation::~MasterStation() { closing_ = true; }

void MasterStation::setClock(Clock clock)
{
    clock_ = clock;
    log.setClock(std::move(clock));
}

qint64 MasterStation::nowSeconds() const { return std::max<qint64>(0, DateToSeconds(clock_())); }

QString MasterStation::dateTimeText(qint64 seconds) const { return GermanDateTime(SecondsToDate(seconds)); }

QString MasterStation::windowCaption() const
{
    return QStringLiteral("Com") + QString::number(Port) + QStringLiteral(" Kelvaro ") + QStringLiteral(KELVARO_VERSION_TEXT);
}

void MasterStation::setLabel1(const QString& text)
{
    if (label1 == text)
        return;
    label1 = text;
    emit label1Changed(text);
    emit stateChanged();
}

BusLock::Hold MasterStation::takeBus(BusUser user)
{
    BusLock::Hold hold = bus_.take(user);
    if (!hold)
        log.add(BusRefusalText(Port, *bus_.holder(), user));
    return hold;
}

void MasterStation::checkWritten(bool written)
{
    if (!written)
        log.add(QStringLiteral("Fehler beim Schreiben von ") + kOvxIni + QStringLiteral(" : ") + LastErrorText());
}

void MasterStation::loadMeterList()
{
    const int count = BM_ZaehlerlisteLadenComPort(DBConnection(), Port,
                                                  {meters, [this](const QString& t) { log.add(t); },
                                                   [this](const QString& t) { emit message(t, {}); }});
    if (count <= 0)
        WriteMBusLogLine(QStringLiteral("Start Kelvaro : Keine Zähler für Com") + QString::number(Port));
}

bool MasterStation::holdPortLock()
{
    const QString file = MasterPortLockFile(DBPATH, Mandant, Port);
    if (portLock_ && portLock_->isLocked() && portLock_->fileName() == file)
        return true;
    portLock_ = std::make_unique<ProcessLock>(file);
    // A supervisor that looks whether the port runs holds the lock for an instant.
    constexpr int kRetryMs = 2000;
    if (portLock_->lock(ProcessLock::Mode::Exclusive, kRetryMs, [this] { return closing_; }))
        return true;
    if (!portLock_->heldElsewhere()) {
        // The station still reads; only who looks for running ports does not see it.
        const QString text = QStringLiteral("Fehler Sperre Com%1 : %2").arg(Port).arg(portLock_->errorText());
        log.add(text);
        WriteProgramLog(text);
        portLock_.reset();
        return true;
    }
    portLock_.reset();
    refused_ = true;
    const QString text = QStringLiteral("Kelvaro Com%1 läuft bereits (Sperre %2)").arg(Port).arg(file);
    log.add(text);
    WriteProgramLog(text);
    WriteMBusLogLine(text);
    Status = RunStatus::Stop;
    cmdStartEnabled = cmdStopEnabled = false;
    emit startRefused(text);
    return false;
}

void MasterStation::load(const QString& commandLineText)
{
    TickLimit = 300;
    commandLine = ParseMasterCommandLine(commandLineText);
    DBPATH = QStringLiteral(".\\");
    ParseClientOption(commandLineText);
    ResolveClientPaths(QStringLiteral(".\\ovx.ini"));
    DatenPath = DBPATH;
    label5 = QStringLiteral("Startzeit : ") + GermanDateTime(clock_());
    Port = commandLine.port;
    MeterPause = commandLine.meterPause;
    refused_ = false;
    if (Port > 0 && !holdPortLock())
        return;
    LoadUserConfig();

    if (Mandant != QLatin1String("1450"))
        DBConfig[DbKind] = QStringLiteral("0");
    if (DBConfig[DbKind].trimmed().isEmpty() || Val(DBConfig[DbKind]) == 0)
        UseClientFileDatabase();
    label7 = QStringLiteral("DB : ") + DBConfig[DbDataSource] + QStringLiteral("  User: ") + DBConfig[DbUser];

    if (!MBOpenDatenbank()) {
        emit message(QStringLiteral("Fehler beim öffnen der Datenbank ") + DBConfig[DbDataSource] + '\r'
                         + DBConnection().connectionText() + '\r',
                     {});
    } else {
        if (Port == 0) {
            Port = GetComPort(DBConnection());
            if (Port > 0 && !holdPortLock()) {
                DBConnection().close();
                return;
            }
        }
        loadMeterList();
    }
    DBConnection().close();

    settings = StationSettings::load(Port);
    text1 = GermanNumber(settings.IntervallCom);
    testFunctionsEnabled = commandLine.testMeters;
    if (commandLine.autoStart) {
        cmdStart();
        emit minimiseRequested(true);
    } else {
        cmdStop();
        emit minimiseRequested(false);
    }
    StartTime = nowSeconds();
    emit stateChanged();
}

void MasterStation::cmdStart()
{
    if (refused_)
        return;
    Status = RunStatus::None;
    // The stored provider kind is checked here; cycle and manual readings create their own.
    QString error;
    mbus::LoadMBusPovider(settings.providerKind, settings.ports, &error);
    if (!error.isEmpty())
        emit message(error, {});
    Status = RunStatus::Start;
    Timer1.start();
    cmdStartEnabled = false;
    cmdStopEnabled = true;
    Running = true;
    cycle.resume();
    const qint64 now = nowSeconds();
    NextStart = NextStartFor(now, settings.IntervallCom);
    cycle.NextKorvanis = NextStartFor(now, settings.KorvanisIntervall);
    setLabel1(QStringLiteral("Starte Datenholen um ") + dateTimeText(NextStart));
    WriteMBusLogLine(QStringLiteral("Datenholen gestartet am ") + GermanDateTime(clock_()));
    emit stateChanged();
}

void MasterStation::cmdStop()
{
    Status = RunStatus::Stop;
    cmdStartEnabled = true;
    cmdStopEnabled = false;
    Running = false;
    cycle.stop();
    const QString text = QStringLiteral("Datenholen gestoppt am ") + GermanDateTime(clock_());
    setLabel1(text);
    WriteMBusLogLine(text);
    emit stateChanged();
}

void MasterStation::cmdWeiter() { cycle.cmdWeiter(); }

void MasterStation::timerTick()
{
    const qint64 now = nowSeconds();
    if (++TickCount > TickLimit && !logGridHidden) {
        logGridHidden = true;
        emit stateChanged();
    }
    label6 = GermanDateTime(clock_()) + QStringLiteral(" (") + QString::number(GetFreeFileNumber()) + ')';
    if (now < NextStart || cycle.Busy || Status == RunStatus::Stop || closing_)
        return;
    // A manual reading holds the line: the cycle begins at a later tick.
    BusLock::Hold hold = bus_.take(BusUser::Cycle);
    if (!hold)
        return;
    settings.reloadCycleKeys();
    emit stateChanged();
    const CycleSetup setup{now, Port, Mandant, &settings, testMeterFlag, commandLine.stepMode(), MeterPause};
    const CycleEnd end = cycle.run(setup);
    hold.release();
    if (end == CycleEnd::Stopped)
        return;
    if (settings.IntervallCom == 0) {
        Timer1.stop();
        setLabel1(QStringLiteral("Fertig"));
        cmdStartEnabled = true;
        cmdStopEnabled = false;
        emit stateChanged();
        return;
    }
    NextStart = NextStartFor(nowSeconds(), settings.IntervallCom);
    setLabel1(QStringLiteral("Starte Datenholen um %1  [%2 Soll]")
                  .arg(dateTimeText(NextStart))
                  .arg((now - StartTime) / 900));
    cycle.launchKorvanisWhenDue(setup);
    emit stateChanged();
}

void MasterStation::text1Changed(const QString& text)
{
    text1 = text;
    if (text.isEmpty())
        return;
    settings.IntervallCom = ToDouble(text);
    if (settings.IntervallCom == 0) {
        NextStart = 0;
        setLabel1(QStringLiteral("Bereit"));
    } else {
        NextStart = NextStartFor(nowSeconds(), settings.IntervallCom);
        setLabel1(QStringLiteral("Starte Datenholen um ") + dateTimeText(NextStart));
    }
    checkWritten(settings.saveIntervallCom(Port));
}

void MasterStation::text4Changed(int index, const QString& text)
{
    const std::optional<TimeoutField> field = TimeoutFieldAt(index);
    if (!field)
        return;
    settings.setTimeout(*field, static_cast<int>(Val(text)));
    checkWritten(settings.saveTimeout(*field, Port));
}

void MasterStation::check1Clicked(int index, bool checked)
{
    const std::optional<StoreSwitch> sw = StoreSwitchAt(index);
    if (!sw)
        return;
    settings.store.set(*sw, checked);
    checkWritten(settings.saveStoreSwitch(*sw));
    emit stateChanged();
}

void MasterStation::providerChosen(int kind)
{
    settings.providerKind = kind;
    settings.saveProviderKind(Port);
}

void MasterStation::mnuEinstellung()
{
    settingsVisible = true;
    TimerWasEnabled = Timer1.isActive();
    Timer1.stop();
    emit stateChanged();
}

void MasterStation::cmdEinstellungenZurueck()
{
    settingsVisible = false;
    NextStart = NextStartFor(nowSeconds(), settings.IntervallCom);
    if (TimerWasEnabled)
        Timer1.start();
    emit stateChanged();
}

void MasterStation::mnuLog()
{
    TickCount = 0;
    logGridHidden = false;
    logViewVisible = !logViewVisible;
    emit stateChanged();
}

void MasterStation::mnuEnde()
{
    Timer1.stop();
    emit closeRequested();
}

void MasterStation::formUnload()
{
    closing_ = true;
    Status = RunStatus::Stop;
    Timer1.stop();
    cycle.abort();
    manual.abort();
    DAODatabase().close();
    comm1_.close();
}

void MasterStation::cmdTestService()
{
    emit message(ServiceStateText(CheckService(settings.serviceName)), QStringLiteral("Test Ormund"));
}

void MasterStation::TestZaehlerLaden()
{
    const BusLock::Hold hold = takeBus(BusUser::TestMeters);
    if (!hold)
        return;
    Port = 7;
    testMeterFlag = true;
    QList<MeterRecord> test(100);
    for (MeterRecord& m : test) {
        m.PrimAdr = 10;
        m.MBBaud = 9600;
        m.MBComP = static_cast<quint8>(Port);
    }
    meters.setMeters(test);
    emit stateChanged();
}

void MasterStation::cmd_V2_MBLesenSecundaer(int meter)
{
    if (!meters.contains(meter))
        return;
    const BusLock::Hold hold = takeBus(BusUser::SecondaryReading);
    if (hold)
        manual.readLikeTheCycle(meter, settings);
}

void MasterStation::meterRowChosen(int meter)
{
    if (!meters.contains(meter) || !meters.meter(meter).hasPrimAdr)
        return;
    logViewVisible = false;
    emit stateChanged();
    const BusLock::Hold hold = takeBus(BusUser::ManualReading);
    if (!hold) {
        // Show what the cycle read last.
        manual.showValues(meter);
        return;
    }
    manual.readIntoIndexList(meter, settings, Port);
}

void MasterStation::combo3Chosen(int item)
{
    if (meters.contains(item + 1))
        manual.showValues(item + 1);
}

void MasterStation::cmdSpeichernIndexliste(int item)
{
    if (!meters.contains(item + 1))
        return;
    // The cycle keeps the database connection open that the save would close.
    const BusLock::Hold hold = takeBus(BusUser::IndexListSave);
    if (hold)
        manual.saveIndexList(item + 1, Port);
}

} // namespace kelvaro::master
