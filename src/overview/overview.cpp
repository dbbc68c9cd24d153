#include "overview/overview.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/messages.h"
#include "foundation/programlog.h"
#include "foundation/textutil.h"
#include "foundation/userconfig.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/providerselect.h"
#include "storage/rb6file.h"

#include <QFileInfo>

namespace kelvaro::overview {

Overview::Overview(Environment environment, QObject* parent)
    : QObject(parent), environment_(std::move(environment)),
      launcher_(std::make_unique<MasterLauncher>(MasterLaunchSettings{}, environment_.starter))
{
    grid.setHeaders(PortGridHeaders());
    statusTimer_.setInterval(environment_.statusRefreshMs);
    connect(&statusTimer_, &QTimer::timeout, this, &Overview::refreshStatus);
}

void Overview::load(const QString& commandLine)
{
    StartClient(commandLine);
    LoadUserConfig();
    database_ = EditorDatabaseSettings::forClient(Mandant, DBPATH, DBConfig);
    dataPath_ = DatenPath;
    launcher_ = std::make_unique<MasterLauncher>(
        MasterLaunchSettings{FindProgram(environment_.programs, kMasterProgram), Mandant, DBPATH}, environment_.starter);

    settings_ = LoadOverviewSettings();
    RB6_StandardGroesse = settings_.rb6BlockCount;
    switches_ = LoadOverviewSwitches();
    dailyRestart_.setLauncher(launcher_.get());
    dailyRestart_.setTime(RestartTime(switches_.restartAt));
    dailyRestart_.setKillAfterMs(LoadSupervisionSettings().killAfterMs);
    if (!switches_.restartAt.isEmpty() && !dailyRestart_.time().isValid())
        WriteProgramLog(QStringLiteral("NeustartUm \"%1\" ist keine Uhrzeit: kein täglicher Neustart")
                            .arg(switches_.restartAt));

    fillGrid();

    providerKind_ = mbus::MB_ProviderListeLaden(0);
    QString providerError;
    mbus::LoadMBusPovider(providerKind_, {}, &providerError);
    if (!providerError.isEmpty())
        ShowMessageBox(providerError);

    refreshStatus();
    Q_EMIT loaded();

    if (commandLine.contains(QStringLiteral("Auto"))) {
        autoStarted_ = true;
        for (int row = 0; row < grid.rowCount(); ++row)
            chooseRow(row);
    }
    statusTimer_.start();
    dailyRestart_.start();
}

namespace {

bool written(bool ok)
{
    if (!ok)
        ShowMessageBox(QStringLiteral("Fehler beim Schreiben von ") + kOvxIni + QStringLiteral(" : ") + LastErrorText());
    return ok;
}

} // namespace

bool Overview::setLogValues(bool on)
{
    switches_.logValues = on;
    return written(SaveLogValues(on));
}

bool Overview::setIndexExport(bool on)
{
    switches_.indexExport = on;
    return written(SaveIndexExport(on));
}

bool Overview::setDailyRestart(bool on, const QString& time)
{
    const QTime at = RestartTime(time);
    if (on && !at.isValid())
        return false;
    switches_.restartAt = on ? at.toString(QStringLiteral("hh:mm")) : QString();
    dailyRestart_.setTime(on ? at : QTime());
    return written(SaveRestartAt(switches_.restartAt));
}

void Overview::fillGrid()
{
    grid.clearRows();
    int count = -1;
    {
        EditorDatabase db(database_, QStringLiteral("kelvaro.overview"));
        if (db.isOpen())
            count = MB_ComPortGetAnz(db.connection(), settings_.cycleTimes, ports_);
        if (count < 0) {
            ports_.clear();
            ShowMessageBox(EditorDatabaseMessage(database_, db.errorText()));
        }
    }
    for (const PortRow& row : std::as_const(ports_))
        grid.appendRow(PortRowCells(row));
    if (count <= 0)
        ShowMessageBox(kNoMetersMessage);
}

QList<int> Overview::portNumbers() const
{
    QList<int> numbers;
    for (const PortRow& row : ports_)
        numbers << row.port;
    return numbers;
}

MasterLauncher::Result Overview::chooseRow(int row)
{
    if (row < 0 || row >= grid.rowCount())
        return MasterLauncher::Result::NoPort;
    const int port = static_cast<int>(Val(grid.cell(row, 0)));
    const MasterLauncher::Result result = launcher_->startFromRow(port);
    if (result == MasterLauncher::Result::NotFound || result == MasterLauncher::Result::Failed)
        ShowMessageBox(launcher_->errorText());
    refreshStatus();
    return result;
}

void Overview::chooseProvider(int index)
{
    if (index < 0)
        return;
    providerKind_ = index;
    if (!WriteIniString(ClientMBusSection() + QStringLiteral("0"), QStringLiteral("OleProvider"), QString::number(index),
                        kOvxIni))
        ShowMessageBox(LastErrorText());
    Q_EMIT providerKindChanged(index);
}

bool Overview::openProgram(const QString& name)
{
    const QString program = FindProgram(environment_.programs, name);
    if (program.isEmpty()) {
        ShowMessageBox(name + QStringLiteral(" ist nicht installiert."));
        return false;
    }
    qint64 pid = 0;
    const QStringList arguments{QStringLiteral("-M") + Mandant};
    if (!environment_.starter(program, arguments, &pid)) {
        const QString error = QStringLiteral("Fehler beim Starten von ") + name;
        WriteProgramLog(error);
        ShowMessageBox(error);
        return false;
    }
    WriteProgramLog(QStringLiteral("Starte %1 -M%2 (PID %3)").arg(QFileInfo(program).fileName(), Mandant).arg(pid));
    return true;
}

void Overview::refreshStatus()
{
    launcher_->forgetEnded();
    for (int row = 0; row < grid.rowCount(); ++row) {
        const int port = static_cast<int>(Val(grid.cell(row, 0)));
        const QString status = port != 0 && launcher_->isRunning(port) ? runningText() : QString();
        if (grid.cell(row, kStatusColumn) != status)
            grid.setCell(row, kStatusColumn, status);
    }
}

} // namespace kelvaro::overview
