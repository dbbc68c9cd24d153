#pragma once
// Two simulated lines with a real master per port, for the tests of the
// overview's supervision.
#include "master/installation.h"
#include "master/stationfixture.h"
#include "overviewfixture.h"

#include <csignal>

namespace kelvaro::test {


// Two simulated lines: COM1 with two meters, COM3 with one; client 200 reads each once.
class TwoLines {
public:
    TwoLines()
        : line1(BusJson({Meter(1, "11111101"), Meter(2, "11111102")}), {"--fast"}),
          line3(BusJson({Meter(5, "33333305")}), {"--fast"})
    {
        dir.write("bus1.json", BusJson({Meter(1, "11111101"), Meter(2, "11111102")}));
        dir.write("bus3.json", BusJson({Meter(5, "33333305")}));
        QString error;
        QList<master::BusMeter> meters3;
        ready = !line1.device().isEmpty() && !line3.device().isEmpty()
            && master::CreateDemoInstallation("200", line1.device(), dir.file("bus1.json"), &error)
            && master::ReadBusMeters(dir.file("bus3.json"), meters3, &error);
        if (ready) {
            SqlConnection db(QStringLiteral("overview.lines"));
            ready = OpenClientDatabase(db) && master::AddMBusMeters(db, meters3, 3, &error)
                && WriteIniString("OVX", "COM3", line3.device(), kOvxIni)
                && WriteIniString("200MBus", "IntervallCom3", "0", kOvxIni);
        }
        if (!ready)
            ADD_FAILURE() << "installation: " << error.toStdString();
        DBConnection().close();
        DAODatabase().close();
        ResetClient();
    }
    ~TwoLines()
    {
        KillMastersIn(dir.path());
        DBConnection().close();
        DAODatabase().close();
    }
    QString mbLog() const
    {
        return FromWin1252(dir.read(QStringLiteral("DB200/MBusLog/%1mb.log").arg(LocalNow().toString("yyMMdd"))));
    }
    QString programLog() const
    {
        return FromWin1252(dir.read(QStringLiteral("DB200/%1ed.log").arg(LocalNow().toString("yyMMdd"))));
    }
    std::unique_ptr<overview::Overview> overview(const QString& commandLine)
    {
        overview::Overview::Environment environment;
        environment.programs = OverviewInstallation::locations();
        auto o = std::make_unique<overview::Overview>(environment);
        o->load(commandLine);
        return o;
    }

    InstallationDir dir;
    SimProcess line1, line3;
    bool ready = false;
};

inline QStringList commandLineOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList parts = QString::fromLocal8Bit(f.readAll()).split(QChar(0), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts[0] = QFileInfo(parts[0]).fileName();
    return parts;
}

inline bool alive(qint64 pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0 && !commandLineOf(pid).isEmpty(); }


} // namespace kelvaro::test
