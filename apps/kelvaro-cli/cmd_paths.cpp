#include "command.h"
#include "clientoptions.h"

#include "foundation/clientpaths.h"

namespace {

int paths(const QStringList& args)
{
    if (const QString bad = FirstNonClientOption(args); !bad.isEmpty())
        return CliFail(CliUsage, QStringLiteral("unknown option: ") + bad);
    kelvaro::StartClient(args.join(' '));

    const QString sections = QStringLiteral("[%1] [%2] [%3]")
                                 .arg(kelvaro::ClientSection(), kelvaro::ClientMBusSection(),
                                      kelvaro::MBClientSection());
    const QJsonObject o{{"Mandant", kelvaro::Mandant},
                        {"DBPATH", kelvaro::DBPATH},
                        {"DatenPath", kelvaro::DatenPath},
                        {"Sektionen", sections}};
    if (!CliJsonOutput()) {
        CliOut(QStringLiteral("Mandant   = ") + kelvaro::Mandant);
        CliOut(QStringLiteral("DBPATH    = ") + kelvaro::DBPATH);
        CliOut(QStringLiteral("DatenPath = ") + kelvaro::DatenPath);
        CliOut(QStringLiteral("Sektionen = ") + sections);
    }
    if (kelvaro::Mandant.isEmpty())
        return CliFail(CliConfiguration, kNoClientText, o);
    if (CliJsonOutput())
        CliOutJson(o);
    return CliOk;
}

const CliRegistration reg("paths", "paths [-M<client>] [--json]   client, directories and INI sections",
                          "Resolves the client in the working directory as the station does (-M<client>, else\n"
                          "OVXMandant in [OVX] of OVX.INI) and prints Mandant, DBPATH, DatenPath and the\n"
                          "INI sections built from the client.\n",
                          {CliOk, CliUsage, CliConfiguration}, paths);

} // namespace
