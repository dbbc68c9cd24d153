#pragma once
#include "editors/editordatabase.h"
#include "foundation/gridmodel.h"
#include "overview/dailyrestart.h"
#include "overview/masterlauncher.h"
#include "overview/overviewsettings.h"
#include "overview/portgrid.h"
#include "overview/programlocator.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace kelvaro::overview {

// The multi-port overview without its window: the port grid with a status
// column, the labels, the provider kind of the client, the start of one master
// per port and of the sibling programs of its menu.
class Overview : public QObject {
    Q_OBJECT
public:
    // What the overview is given by its program (or a test).
    struct Environment {
        ProgramLocations programs;
        ProgramStarter starter = DetachedStarter();
        int statusRefreshMs = 1'500;
    };

    explicit Overview(Environment environment, QObject* parent = nullptr);

    // The form's start-up: client and paths, keys, grid, provider list; with
    // "Auto" on the command line every port's master is started.
    void load(const QString& commandLine);

    // The row event of grid row `row` (from 0): starts that port's master
    // unless it runs already.
    MasterLauncher::Result chooseRow(int row);
    // Provider list clicked: the kind is kept for the client's masters.
    void chooseProvider(int index);
    // The menu's programs, each a process of its own with the client option.
    bool openMeterList() { return openProgram(QStringLiteral("mbus-edit")); }
    bool openTestBench() { return openProgram(QStringLiteral("tarvolin")); }
    bool openLogImport() { return openProgram(QStringLiteral("mbus-logimport")); }

    // The three check boxes: each writes its key at once (false and a
    // message box when the file refused it). The masters take the values up
    // at their next cycle; the daily restart changes at once.
    bool setLogValues(bool on);
    bool setIndexExport(bool on);
    // On with a valid time ("hh:mm") keeps that time; off keeps an empty key.
    // False, and nothing written, for on with a text that is no time.
    bool setDailyRestart(bool on, const QString& time);
    const OverviewSwitches& switches() const { return switches_; }
    DailyRestart& dailyRestart() { return dailyRestart_; }

    // Marks each port whose master runs with "läuft" (the timer calls it).
    void refreshStatus();

    GridModel grid;
    const QList<PortRow>& ports() const { return ports_; }
    QList<int> portNumbers() const;
    MasterLauncher& launcher() { return *launcher_; }
    const OverviewSettings& settings() const { return settings_; }
    int providerKind() const { return providerKind_; }
    bool autoStarted() const { return autoStarted_; }
    QString databaseLabel() const { return database_.displayName(); }
    QString dataLabel() const { return dataPath_; }
    QString logNameLabel() const { return dataPath_ + QStringLiteral("yymmddmb.txt"); }

    static QString runningText() { return QStringLiteral("läuft"); }

Q_SIGNALS:
    void loaded();
    void providerKindChanged(int kind);

private:
    bool openProgram(const QString& name);
    void fillGrid();

    Environment environment_;
    std::unique_ptr<MasterLauncher> launcher_;
    OverviewSettings settings_;
    OverviewSwitches switches_;
    DailyRestart dailyRestart_;
    EditorDatabaseSettings database_;
    QString dataPath_;
    QList<PortRow> ports_;
    int providerKind_ = 1;
    bool autoStarted_ = false;
    QTimer statusTimer_;
};

} // namespace kelvaro::overview
