// A client-1320 installation in a temporary directory whose COM1 is mbus-sim
// on a pseudo-terminal with the given bus; the working directory is the
// installation's while it lives.
#pragma once
#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "master/installation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace kelvaro {

struct SimInstallation {
    SimInstallation(const QByteArray& busJson, bool wireTime)
    {
        QFile f(dir.filePath("bus.json"));
        f.open(QIODevice::WriteOnly);
        f.write(busJson);
        f.close();
        QStringList args{f.fileName()};
        if (!wireTime)
            args << "--fast";
        sim.start(QStringLiteral(KELVARO_BINARY_DIR "/tools/mbus-sim/mbus-sim"), args);
        sim.waitForReadyRead(5000);
        const QString device = QString::fromLocal8Bit(sim.readAllStandardOutput()).section(' ', -1).trimmed();
        QDir::setCurrent(dir.path());
        QString error;
        if (!master::CreateDemoInstallation("1320", device, f.fileName(), &error))
            std::fprintf(stderr, "installation: %s\n", qPrintable(error));
        DBConnection().close();
        ResetClient();
    }
    ~SimInstallation()
    {
        sim.terminate();
        sim.waitForFinished(2000);
        QDir::setCurrent(QDir::tempPath());
    }
    QTemporaryDir dir;
    QProcess sim;
};

} // namespace kelvaro
