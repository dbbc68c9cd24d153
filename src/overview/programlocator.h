#pragma once
#include <QString>

namespace kelvaro::overview {

// Where the overview looks for the programs it starts: a path named in the
// INI file first (the master only), then beside its own binary, then in a
// build tree (<apps>/<name>/<name> next to <apps>/kelvaro-overview/), then PATH.
struct ProgramLocations {
    QString programDir;        // the directory of the overview's binary
    QString configuredMaster;  // "KelvaroProgramm" of section "OVX", may be empty
    bool searchPath = true;

    // The applicationDirPath and the INI key of this run.
    static ProgramLocations load();
};

// The executable's path, or empty when it is nowhere.
QString FindProgram(const ProgramLocations& where, const QString& name);

inline const QString kMasterProgram = QStringLiteral("kelvaro");

} // namespace kelvaro::overview
