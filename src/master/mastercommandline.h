#pragma once
#include <QString>

namespace kelvaro::master {

// The master's command line, searched by substring: "-C<port>"
// (case-insensitive), "-T<ms>" (case-sensitive), "Auto", "testzaehler"
// (case-insensitive) and "TEST " (step mode, case-insensitive). "-M" is the
// client option of the client resolution.
struct MasterCommandLine {
    QString text;
    int port = 0;
    double meterPause = 0.1; // seconds
    bool autoStart = false;
    bool testMeters = false;

    bool stepMode() const { return text.contains(QLatin1String("TEST "), Qt::CaseInsensitive); }
};

MasterCommandLine ParseMasterCommandLine(const QString& text);

} // namespace kelvaro::master
