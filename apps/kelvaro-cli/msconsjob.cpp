#include "msconsjob.h"
#include "clientoptions.h"
#include "command.h"

#include "data/schema.h"
#include "editors/editordatabase.h"
#include "foundation/clientpaths.h"
#include "foundation/userconfig.h"
#include "mscons/referencecounter.h"

using namespace kelvaro;
using namespace kelvaro::mscons;

static QString DefaultOutput()
{
    const bool separated = DatenPath.endsWith('\\') || DatenPath.endsWith('/');
    return DatenPath + (separated ? QString() : QStringLiteral("\\")) + QStringLiteral("MSCONS\\");
}

int PrepareMsconsJob(const QStringList& clientOptions, MsconsJob& job, QString& error)
{
    StartClient(clientOptions.join(' '));
    if (Mandant.isEmpty()) {
        error = kNoClientText;
        return CliConfiguration;
    }
    QString problem;
    job.request.settings = ReadMsconsSettings(Mandant, kOvxIni, problem);
    if (!problem.isEmpty()) {
        error = problem;
        return CliConfiguration;
    }
    LoadUserConfig();
    job.baseDirectory = job.request.settings.outputDirectory.isEmpty() ? DefaultOutput()
                                                                       : job.request.settings.outputDirectory;
    job.request.datenPath = DatenPath;
    job.request.counterFile = ReferenceCounterFile(DBPATH, Mandant);
    job.request.now = QDateTime::currentDateTimeUtc();
    job.settingsRead = true;

    const EditorDatabaseSettings settings = EditorDatabaseSettings::forClient(Mandant, DBPATH, DBConfig);
    EditorDatabase db(settings, QStringLiteral("kelvaro.mscons"));
    QString loadError;
    if (!db.isOpen() || !EnsureMeterColumns(db.connection()) || !EnsureExportIndexListColumn(db.connection())
        || !LoadExportIndexes(db.connection(), job.indexes, loadError)) {
        error = EditorDatabaseMessage(settings, loadError.isEmpty() ? db.errorText() : loadError);
        return CliDataFile;
    }
    return CliOk;
}
