#include "master/masterstation.h"

#include "data/dbconnection.h"
#include "data/indexlist.h"
#include "foundation/clientpaths.h"
#include "foundation/filenumbers.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/messages.h"
#include "foundation/paths.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "foundation/userconfig.h"
#include "master/meterlist.h"
#include "master/meterstoring.h"
#include "master/supervision.h"
#include "mbus/frame.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/eventwait.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"
#include "storage/mbuslog.h"
#include "storage/rb6file.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

namespace kelvaro::master {
namespace {

constexpr int kLastReadColumn = 4;
const QString kOk = QStringLiteral("Ok");
const QString kFehler = QStringLiteral("Fehler");

} // namespace

MasterStation::MasterStation(QObject* parent)
    : QObject(parent)
    , clock_(&LocalNow)
{
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &MasterStation::timerTick);
    meterGrid.setHeaders({"PrimAdr", "Baud", "Gelesen", "LeseFehler", "LastRead", "Z-Nummer", "Energie"});
    logGrid.setHeaders({"Datetime", "Text"});
    cycleGrid.setHeaders({QStringLiteral("Zyklus-Zeiten")});
    indexGrid.setHeaders({"(Prim) Index", "Wert", "Art", "Mom"});
}

MasterStation::~MasterStation()
{
    closing_ = true;
    closeDatabaseOfCycle();
}

qint64 MasterStation::nowSeconds() const { return std::max<qint64>(0, DateToSeconds(clock_())); }

qint64 MasterStation::NextStartFor(qint64 now, double interval)
{
    const auto i = static_cast<qint64>(interval);
    if (i <= 0)
        return 0;
    return now / i * i + i;
}

QString MasterStation::mbusSection() const { return ClientMBusSection(); }
QString MasterStation::portSection() const { return ClientMBusSection() + QString::number(Port); }
QString MasterStation::mbSection() const { return MBClientSection(); }

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

void MasterStation::logView(const QString& text)
{
    const QString stamp = GermanDateTime(clock_());
    logGrid.insertRow(0, {stamp, text});
    emit logLine(stamp + '\t' + text);
}

void MasterStation::load(const QString& commandLineText)
{
    TickLimit = 300;
    // Korvanis settings (written back when 0).
    commandLine = ParseMasterCommandLine(commandLineText);
    DBPATH = QStringLiteral(".\\");
    ParseClientOption(commandLineText);
    ResolveClientPaths(QStringLiteral(".\\ovx.ini"));
    DatenPath = DBPATH;
    KorvanisIntervall = ReadIniNumberOrDefault(mbusSection(), QStringLiteral("KorvanisIntervall"), kOvxIni, 900);
    KorvanisStartFenster = ReadIniNumberOrDefault(mbusSection(), QStringLiteral("KorvanisStartFenster"), kOvxIni, 6);
    label5 = QStringLiteral("Startzeit : ") + GermanDateTime(clock_());
    Port = commandLine.port;
    MeterPause = commandLine.meterPause;
    LoadUserConfig();

    if (Mandant != QLatin1String("1450"))
        DBConfig[DbKind] = QStringLiteral("0");
    if (DBConfig[DbKind].trimmed().isEmpty() || Val(DBConfig[DbKind]) == 0)
        UseClientFileDatabase();
    label7 = QStringLiteral("DB : ") + DBConfig[DbDataSource] + QStringLiteral("  User: ") + DBConfig[DbUser];

    if (!MBOpenDatenbank()) {
        ShowMessageBox(QStringLiteral("Fehler beim öffnen der Datenbank ") + DBConfig[DbDataSource] + '\r'
                       + DBConnection().connectionText() + '\r');
    } else {
        if (Port == 0)
            Port = GetComPort(DBConnection());
        const int count = BM_ZählerlisteLadenComPort(DBConnection(), Port,
                                                       {meterGrid, meters, combo3, [this](const QString& t) { logView(t); }});
        if (count <= 0)
            WriteMBusLogLine(QStringLiteral("Start Kelvaro : Keine Zähler für Com") + QString::number(Port));
    }
    DBConnection().close();

    readSettings();
    providerKind = mbus::MB_ProviderListeLaden(Port);
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

void MasterStation::readSettings()
{
    ReadRB6StandardGroesse();
    IntervallCom = Val(ReadIniString(mbusSection(), QStringLiteral("IntervallCom") + QString::number(Port), kOvxIni));
    text1 = GermanNumber(IntervallCom);
    timeouts = mbus::LoadTimeoutSettings(portSection(), QStringLiteral("COMTimeoutDeadTime"));
    ports = mbus::LoadPortDirectory();
    const QString tibboKey = QStringLiteral("TibboIP") + QString::number(Port);
    TibboIP = ReadIniString(portSection(), tibboKey, kOvxIni);
    if (TibboIP.isEmpty()) {
        // Site addresses of device servers may be given once in [OVX]; otherwise none.
        TibboIP = ReadIniString(QStringLiteral("OVX"), tibboKey, kOvxIni);
        WriteIniString(portSection(), tibboKey, TibboIP, kOvxIni);
    }
    TibboPort = QStringLiteral("65535");
    static const bool defaults[4] = {false, false, true, true};
    for (int i = 0; i < 4; ++i) {
        const QString text = ReadIniString(mbSection(), QStringLiteral("MBSpeichern") + QString::number(i), kOvxIni);
        Check1[i] = text.isEmpty() ? defaults[i] : Val(text) != 0;
    }
}

std::unique_ptr<mbus::NativeProvider> MasterStation::createProvider(int kind) const
{
    QString error;
    auto provider = mbus::LoadMBusPovider(kind, ports, &error);
    if (!error.isEmpty())
        ShowMessageBox(error);
    return provider;
}

void MasterStation::cmdStart()
{
    Status.clear();
    provider_ = createProvider(providerKind);
    Status = QStringLiteral("Start");
    Timer1.start();
    cmdStartEnabled = false;
    cmdStopEnabled = true;
    Running = true;
    const qint64 now = nowSeconds();
    NextStart = NextStartFor(now, IntervallCom);
    NextKorvanis = NextStartFor(now, KorvanisIntervall);
    setLabel1(QStringLiteral("Starte Datenholen um ") + dateTimeText(NextStart));
    WriteMBusLogLine(QStringLiteral("Datenholen gestartet am ") + GermanDateTime(clock_()));
    Busy = 0;
    emit stateChanged();
}

void MasterStation::cmdStop()
{
    Status = QStringLiteral("Stop");
    cmdStartEnabled = true;
    cmdStopEnabled = false;
    Running = false;
    emit stepReleased();
    const QString text = QStringLiteral("Datenholen gestoppt am ") + GermanDateTime(clock_());
    setLabel1(text);
    WriteMBusLogLine(text);
    emit stateChanged();
}

void MasterStation::cmdWeiter()
{
    StepWait = 0;
    emit stepReleased();
}

void MasterStation::timerTick()
{
    const qint64 now = nowSeconds();
    if (++TickCount > TickLimit && !logGridHidden) {
        logGridHidden = true;
        emit stateChanged();
    }
    label6 = GermanDateTime(clock_()) + QStringLiteral(" (") + QString::number(GetFreeFileNumber()) + ')';
    if (now < NextStart || Busy == 1 || Status == QLatin1String("Stop"))
        return;
    runCycle(now);
}

void MasterStation::runCycle(qint64 now)
{
    Busy = 1;
    setLabel1(QStringLiteral("Start jetzt"));
    QElapsedTimer cycleClock;
    cycleClock.start();
    meterGrid.clearColumn(kLastReadColumn);

    logView(QStringLiteral("Öffne Datenbank"));
    provider_.reset();
    const bool readMeters = !Check1[0] || openDatabaseForCycle();
    if (readMeters) {
        provider_ = createProvider(mbus::ProviderOleV2);
        mbus::ApplyTimeoutSettings(*provider_, timeouts);
        logView(QStringLiteral("Starte Auslesen"));
    }

    for (int pass = 1; pass <= 2; ++pass) {
        if (!runPass(pass)) {
            // Stopped during the pass: nothing of the end of the pass or cycle runs,
            // but the cycle's database work is not left open until the next one.
            closeDatabaseOfCycle();
            Busy = 0;
            return;
        }
        if (Check1[0])
            closeDatabaseOfCycle();
        cycleGrid.insertRow(0, {GermanNumber(cycleClock.elapsed() / 1000.0, 1) + QStringLiteral(" s")});
        if (!(Running && pass == 1))
            break;
    }

    if (cycleGrid.rowCount() >= 4)
        cycleGrid.removeRowsFrom(3);
    // The log view is kept between 500 and 800 lines after every cycle, also
    // when single runs are started again and again.
    if (logGrid.rowCount() > 800)
        logGrid.removeRowsFrom(500);
    if (IntervallCom == 0) {
        Busy = 0;
        Timer1.stop();
        setLabel1(QStringLiteral("Fertig"));
        cmdStartEnabled = true;
        cmdStopEnabled = false;
        emit stateChanged();
        return;
    }
    NextStart = NextStartFor(nowSeconds(), IntervallCom);
    setLabel1(QStringLiteral("Starte Datenholen um %1  [%2 Soll]")
                  .arg(dateTimeText(NextStart))
                  .arg((now - StartTime) / 900));
    if (Check1[3] && now >= NextKorvanis) {
        launchKorvanis();
        NextKorvanis = NextStartFor(now, KorvanisIntervall);
    }
    provider_.reset();
    Busy = 0;
    emit stateChanged();
}

bool MasterStation::openDatabaseForCycle()
{
    if (!MBOpenDatenbank()) {
        logView(QStringLiteral("Fehler Öffne Datenbank"));
        WriteMBusLogLine(QStringLiteral("Fehler : Öffne Datenbank"));
        return true; // the cycle goes on with the list it has
    }
    const int count = BM_ZählerlisteLadenComPort(DBConnection(), Port,
                                                   {meterGrid, meters, combo3, [this](const QString& t) { logView(t); }});
    if (count <= 0) {
        // The grid keeps what it shows; without a provider the pass reads nothing.
        logView(QStringLiteral("Kelvaro : Keine Zähler für Com") + QString::number(Port));
        return false;
    }
    logView(QStringLiteral("Kelvaro Timer1 : Anz Zähler für Com%1 = %2").arg(Port).arg(count));
    valuesOpen_ = OpenMBusWerte(values_);
    if (!valuesOpen_)
        WriteMBusLogLine(QStringLiteral("Fehler : Öffne MBWerteliste"));
    readingsOpen_ = OpenZaehlerstaende(readings_);
    if (!readingsOpen_)
        WriteMBusLogLine(QStringLiteral("Fehler : Öffne rsZaehlerstaende"));
    return true;
}

void MasterStation::closeDatabaseOfCycle()
{
    const bool wasOpen = valuesOpen_ || readingsOpen_;
    values_.close();
    readings_.close();
    valuesOpen_ = readingsOpen_ = false;
    if (wasOpen || DBConnection().isOpen())
        DBConnection().close();
}

bool MasterStation::waitForStep()
{
    cmdWeiterEnabled = true;
    StepWait = 1;
    emit stateChanged();
    while (StepWait == 1 && Status != QLatin1String("Stop") && !closing_) {
        QEventLoop loop;
        connect(this, &MasterStation::stepReleased, &loop, &QEventLoop::quit);
        loop.exec();
    }
    cmdWeiterEnabled = false;
    emit stateChanged();
    return StepWait == 0;
}

bool MasterStation::runPass(int pass)
{
    if (!provider_)
        return true; // the reload found no meters for the port
    const int count = meterCount();
    for (int r = 1; r <= count; ++r) {
        if (Status == QLatin1String("Stop"))
            break;
        MeterRecord& meter = meters[r];
        if (meterGrid.cell(r - 1, kLastReadColumn) != kOk) {
            setLabel1(QStringLiteral("Lese %1 von %2").arg(r).arg(count));
            if (commandLine.stepMode())
                waitForStep();
            else
                mbus::PauseWithEvents(static_cast<int>(MeterPause * 1000));
            if (closing_)
                return false;
            emit rowSelected(r);
            int rc = readMeter(r);
            if (r == 1 && rc != 0) {
                logView(QStringLiteral("Nochmal ersten lesen"));
                rc = readMeter(r);
            }
            emit rowSelected(r);
            if (rc != 0) {
                afterFailure(r, rc);
            } else {
                meterGrid.setCell(r - 1, kLastReadColumn, kOk);
                ++meter.OkCount;
                StoreContext context;
                context.switches = Check1;
                context.values = valuesOpen_ ? &values_ : nullptr;
                context.readings = readingsOpen_ ? &readings_ : nullptr;
                context.client = Mandant;
                context.port = Port;
                context.testMeter = testMeterFlag;
                context.log = [this](const QString& t) { logView(t); };
                MBusZaehlerSpeichern(context, meter, meterGrid.cell(r - 1, 0).toInt());
            }
        }
        meterGrid.setCell(r - 1, 2, QString::number(meter.OkCount));
        meterGrid.setCell(r - 1, 3, QString::number(meter.ErrorCount));
        if (cmdStartEnabled)
            return false;
    }
    Q_UNUSED(pass);
    return true;
}

int MasterStation::readMeter(int row)
{
    if (!provider_)
        return -2; // no provider: the reading fails like an unanswered meter
    MeterRecord& meter = meters[row];
    meter.MBBaud = meterGrid.cell(row - 1, 1).toInt();
    if (meter.MBComP == 0)
        meter.MBComP = static_cast<quint8>(Port);
    return mbus::MB_ZaehlerLesen(serial_, *provider_, meter);
}

void MasterStation::afterFailure(int row, int rc)
{
    MeterRecord& meter = meters[row];
    ++meter.ErrorCount;
    WriteMBusLogLine(QStringLiteral("%1;Lesefehler;%2;rc=%3").arg(meterGrid.cell(row - 1, 0)).arg(meter.ErrorCount).arg(rc));
    meterGrid.setCell(row - 1, kLastReadColumn, kFehler);
    if (Mandant == QLatin1String("1450") && row == 1)
        supervise();
}

void MasterStation::supervise()
{
    const QString state = ServiceStateText(CheckService(OrmundServiceName()));
    WriteMBusLogLine(QStringLiteral("Fehler ") + state);
    logView(state);
    const QString reset = TibboReset(TibboIP, static_cast<quint16>(TibboPort.toUInt()))
        ? QStringLiteral("Tibbo Reset Ok")
        : QStringLiteral("Tibbo Reset false");
    WriteMBusLogLine(QStringLiteral("Fehler ") + reset);
    logView(reset);
}

void MasterStation::launchKorvanis()
{
    // The sibling program: a configured command, else Korvanis(.exe) in the
    // installation directory. Started without waiting.
    QString program = ReadIniString(mbusSection(), QStringLiteral("KorvanisProgramm"), kOvxIni);
    if (program.isEmpty())
        program = QFileInfo::exists(QStringLiteral("Korvanis.exe")) ? QStringLiteral("./Korvanis.exe")
                                                                    : QStringLiteral("./Korvanis");
    const QStringList args{QStringLiteral("-M") + Mandant, QStringLiteral("AutoBerechnen")};
    if (!QProcess::startDetached(NativePath(program), args))
        logView(QStringLiteral("Korvanis nicht gestartet: ") + program + ' ' + args.join(' '));
}

void MasterStation::text1Changed(const QString& text)
{
    text1 = text;
    if (text.isEmpty())
        return;
    IntervallCom = ToDouble(text);
    if (IntervallCom == 0) {
        NextStart = 0;
        setLabel1(QStringLiteral("Bereit"));
    } else {
        NextStart = NextStartFor(nowSeconds(), IntervallCom);
        setLabel1(QStringLiteral("Starte Datenholen um ") + dateTimeText(NextStart));
    }
    WriteIniString(mbusSection(), QStringLiteral("IntervallCom") + QString::number(Port), GermanNumber(IntervallCom),
                   kOvxIni);
}

void MasterStation::text4Changed(int index, const QString& text)
{
    static const char* const keys[] = {"COMTimeout", "COMTimeoutOffset", "COMTimeoutByte", "COMTimeoutDeadTime"};
    if (index < 0 || index > 3)
        return;
    const int value = static_cast<int>(Val(text));
    int* fields[] = {&timeouts.timeout, &timeouts.offset, &timeouts.byteTime, &timeouts.deadTime};
    *fields[index] = value;
    WriteIniString(portSection(), QString::fromLatin1(keys[index]), QString::number(value), kOvxIni);
}

void MasterStation::check1Clicked(int index, bool checked)
{
    if (index < 0 || index > 3)
        return;
    Check1[index] = checked;
    WriteIniString(mbSection(), QStringLiteral("MBSpeichern") + QString::number(index), checked ? "1" : "0", kOvxIni);
    emit stateChanged();
}

void MasterStation::providerChosen(int kind)
{
    providerKind = kind;
    mbus::SaveProviderKind(Port, kind);
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
    NextStart = NextStartFor(nowSeconds(), IntervallCom);
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

bool MasterStation::mnuEnde()
{
    if (!AskYesNo(QStringLiteral("Sind sie sicher?"), false, windowCaption() + QStringLiteral(" beenden")))
        return false;
    Timer1.stop();
    emit closeRequested();
    return true;
}

void MasterStation::formUnload()
{
    closing_ = true;
    Status = QStringLiteral("Stop");
    emit stepReleased();
    Timer1.stop();
    closeDatabaseOfCycle();
    DAODatabase().close();
    if (provider_)
        provider_->APPCloseCom();
    serial_.close();
}

void MasterStation::cmdTestService()
{
    ShowMessageBox(ServiceStateText(CheckService(OrmundServiceName())), QStringLiteral("Test Ormund"));
}

void MasterStation::TestZaehlerLaden()
{
    Port = 7;
    testMeterFlag = true;
    meters.clear();
    meters.resize(101);
    meterGrid.setRowCount(0);
    for (int r = 1; r <= 100; ++r) {
        meters[r].PrimAdr = 10;
        meters[r].MBBaud = 9600;
        meters[r].MBComP = static_cast<quint8>(Port);
        meterGrid.appendRow({QStringLiteral("10"), QStringLiteral("9600")});
    }
    emit stateChanged();
}

void MasterStation::cmd_V2_MBLesenSecundaer(int row)
{
    if (row < 1 || row > meterCount())
        return;
    auto provider = createProvider(mbus::ProviderOleV2);
    mbus::ApplyTimeoutSettings(*provider, timeouts);
    const QString address = meterGrid.cell(row - 1, 0);
    const int rc = mbus::MB_ZaehlerLesen(serial_, *provider, meters[row]);
    logView((rc == 0 ? QStringLiteral("Lesen Ok Adr ") : QStringLiteral("Fehler Adr ")) + address);
}

void MasterStation::showValues(const MeterRecord& meter, int address)
{
    indexGrid.setRowCount(0);
    for (int k = 1; k <= meter.ValueCount; ++k)
        indexGrid.appendRow({QStringLiteral("(%1) %2").arg(address).arg(k), GermanNumber(meter.ValueTable[k].value),
                             meter.ValueTable[k].measurementText.trimmed(), meter.ValueTable[k].unitText.trimmed()});
}

void MasterStation::meterRowChosen(int row)
{
    if (row < 1 || row > meterCount() || meterGrid.cell(row - 1, 0).isEmpty())
        return;
    logViewVisible = false;
    emit stateChanged();
    if (Busy == 1) {
        // The cycle is using the line; show what it read last.
        showValues(meters[row], meters[row].PrimAdr);
        return;
    }
    indexGrid.setRowCount(0);
    provider_ = createProvider(providerKind);
    MeterRecord& meter = meters[row];
    meter.MBBaud = meterGrid.cell(row - 1, 1).toInt();
    if (MB_ReadPrimAdr(meterGrid.cell(row - 1, 0).toInt(), meter) == 0)
        showValues(meter, meter.PrimAdr);
}

int MasterStation::MB_ReadPrimAdr(int address, MeterRecord& meter)
{
    if (!provider_)
        return -1;
    return MB_ReadPrimAdrRac(address, meter);
}

int MasterStation::MB_ReadPrimAdrRac(int address, MeterRecord& meter)
{
    mbus::NativeProvider& p = *provider_;
    indexGrid.setRowCount(0);
    mbus::ApplyTimeoutSettings(p, timeouts);
    logView(QStringLiteral("Öffne Com"));
    p.APPInitCom(meter.MBComP ? meter.MBComP : Port, meter.MBBaud);
    if (!p.APPIsComOpen()) {
        logView(QStringLiteral("Fehler open Com"));
        return -1;
    }
    logView(QStringLiteral("Send NKE ") + QString::number(address));
    mbus::PauseWithEvents(10);
    if (address == mbus::kAddressSelected) {
        if (mbus::MB_ReadSekAdrRac(p, meter.MB_ID) != 0) {
            p.APPCloseCom();
            return -1;
        }
    } else {
        p.APPSNDNKE(address);
        if (p.APPReceiveTest() > 4) {
            p.APPCloseCom();
            return -2;
        }
        logView(QStringLiteral("Send REQUD2 ") + QString::number(address));
        p.APPREQUD2(address);
    }
    if (p.APPReceiveTest() != 3) {
        p.APPCloseCom();
        logView(QStringLiteral("Antwort False  ") + QString::number(p.APPReceiveError()));
        return -1;
    }
    logView(QStringLiteral("Antwort OK  "));
    const int n = std::min(p.APPDataRecordNumber(), mbus::kMaxValueRecords);
    meter.ValueCount = static_cast<quint8>(n);
    for (int k = 1; k <= n; ++k) {
        mbus::ValueEntry& e = meter.ValueTable[k];
        e.value = ToDouble(p.APPValueDec(k));
        e.measurementText = mbus::FixedText15('(' + p.APPFunctionFieldAsc(k) + ") " + p.APPVIBAsc(k));
        e.unitText = mbus::FixedText15(p.APPVIBUnitAsc(k));
    }
    return 0;
}

void MasterStation::combo3Chosen(int item)
{
    if (item < 0 || item + 1 > meterCount())
        return;
    showValues(meters[item + 1], meters[item + 1].PrimAdr);
}

void MasterStation::cmdSpeichernIndexliste(int item)
{
    if (item < 0 || item + 1 > meterCount())
        return;
    MeterRecord& meter = meters[item + 1];
    QList<IndexListValue> values = IndexListValues(meter);
    const int saved = SaveIndexList(meter.LZNR, values);
    if (saved < 0) {
        WriteMBusLogLine(QStringLiteral("Fehler beim speichern der Indexliste lznr=%1 Com=%2 PrimAdr=%3 rc=%4")
                  .arg(meter.LZNR)
                  .arg(Port)
                  .arg(meter.PrimAdr)
                  .arg(LastErrorText()));
        logView(QStringLiteral("Fehler speichen MBIndexListe l=") + QString::number(meter.LZNR));
    } else {
        meter.IndexCount = static_cast<qint16>(saved);
        logView(QStringLiteral("Speichen MBIndexListe lznr=%1 Anz=%2").arg(meter.LZNR).arg(saved));
    }
    DBConnection().close();
}

} // namespace kelvaro::master
