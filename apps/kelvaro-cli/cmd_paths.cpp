#include "command.h"

#include "foundation/clientpaths.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

int paths(const QStringList& args)
{
    const bool json = args.contains(QStringLiteral("--json"));
    QStringList rest = args;
    rest.removeAll(QStringLiteral("--json"));
    kelvaro::StartClient(rest.join(' '));

    const QString sections = QStringLiteral("[%1] [%2] [%3]")
                                 .arg(kelvaro::ClientSection(), kelvaro::ClientMBusSection(),
                                      kelvaro::MBClientSection());
    if (json) {
        const QJsonObject o{{"Mandant", kelvaro::Mandant},
                            {"DBPATH", kelvaro::DBPATH},
                            {"DatenPath", kelvaro::DatenPath},
                            {"Sektionen", sections}};
        CliOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    } else {
        CliOut(QStringLiteral("Mandant   = ") + kelvaro::Mandant);
        CliOut(QStringLiteral("DBPATH    = ") + kelvaro::DBPATH);
        CliOut(QStringLiteral("DatenPath = ") + kelvaro::DatenPath);
        CliOut(QStringLiteral("Sektionen = ") + sections);
    }
    return kelvaro::Mandant.isEmpty() ? 1 : 0;
}

const CliRegistration reg("paths", "paths [-M<client>] [--json]   client, directories and INI sections", paths);

} // namespace
