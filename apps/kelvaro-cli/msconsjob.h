#pragma once
#include "mscons/msconsexport.h"

#include <QStringList>

// What an MSCONS run of a client needs, read at the edge: the settings of
// [MSCONS<client>] in OVX.INI, the exported indexes of the database, the
// paths of the RB6 files and the reference counter.
struct MsconsJob {
    kelvaro::mscons::ExportRequest request; // from, to and outputDirectory are the caller's
    QList<kelvaro::mscons::ExportIndex> indexes;
    QString baseDirectory; // Ausgabepfad, else DatenPath + "MSCONS"
    bool settingsRead = false; // request.settings and baseDirectory are valid
};

// Resolves the client (its "-M" options) and fills `job`. 0, or the exit code
// (CliConfiguration, CliDataFile) with `error`; after a database failure the
// settings are read already (settingsRead).
int PrepareMsconsJob(const QStringList& clientOptions, MsconsJob& job, QString& error);
