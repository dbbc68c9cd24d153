#include "master/installation.h"

#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/userconfig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kelvaro::master {
namespace {

QString mediumName(int medium)
{
    switch (medium) {
    case 2: return QStringLiteral("Stromzähler");
    case 3: return QStringLiteral("Gaszähler");
    case 7: return QStringLiteral("Wasserzähler");
    default: return QStringLiteral("Wärmezähler");
    }
}

int groupFor(int medium)
{
    switch (medium) {
    case 2: return 1;
    case 3: return 3;
    case 7: return 4;
    default: return 2;
    }
}

} // namespace

bool ReadBusMeters(const QString& busFile, QList<BusMeter>& meters, QString* error)
{
    QFile file(busFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Busdatei nicht lesbar: ") + busFile;
        return false;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject()) {
        *error = QStringLiteral("Busdatei ist kein JSON-Objekt: ") + busFile;
        return false;
    }
    meters.clear();
    for (const QJsonValue& v : doc.object().value("meters").toArray()) {
        const QJsonObject o = v.toObject();
        BusMeter m;
        m.primary = o.value("primary").toInt();
        // The meter table may hold a mask ("mbId", f = any digit) for the meter's identification.
        m.id = o.value("mbId").toString(o.value("id").toString());
        const QJsonArray bauds = o.value("baud").toArray();
        m.baud = bauds.isEmpty() ? o.value("baud").toInt(2400) : bauds.first().toInt();
        const int medium = o.value("medium").toInt(4);
        m.name = o.value("name").toString(mediumName(medium) + ' ' + QString::number(m.primary));
        m.groupNr = groupFor(medium);
        meters << m;
    }
    return true;
}

bool AddMBusMeters(SqlConnection& db, const QList<BusMeter>& meters, int port, QString* error)
{
    struct Group { int nr; const char* name; int basis; };
    static const Group groups[] = {{1, "Strom", 1}, {2, "Wärme", 1}, {3, "Gas", 1}, {4, "Wasser", 1}};
    if (!db.transaction()) {
        *error = LastErrorText();
        return false;
    }
    bool ok = true;
    for (const Group& g : groups)
        if (ok && db.scalar(QStringLiteral("SELECT Count(*) FROM tagrp WHERE TAGRP_NR = ?"), {g.nr}).toInt() == 0)
            ok = db.exec(QStringLiteral("INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME, BasisTarif) VALUES (?, ?, ?)"),
                         {g.nr, QString::fromUtf8(g.name), g.basis});
    for (const BusMeter& m : meters)
        ok = ok && db.exec(QStringLiteral("INSERT INTO zaehler (ZNr, ZName, ZQuelle, tarifgruppe, Tarifgrp, stufe, faktor, "
                                          "Impulse, [Offset], MBAdr, MBComP, MBBaud, MBIndex, MBZStand, MB_ID) "
                                          "VALUES (?, ?, 'M-Bus', ?, ?, 1, 1, 1, 0, ?, ?, ?, 1, 0, ?)"),
                           {m.id, m.name, QString::fromUtf8(groups[m.groupNr - 1].name), m.groupNr, m.primary, port,
                            m.baud, m.id});
    if (!ok || !db.commit()) {
        *error = LastErrorText();
        db.rollback();
        return false;
    }
    return true;
}

bool CreateDemoInstallation(const QString& client, const QString& device, const QString& busFile, QString* error)
{
    QList<BusMeter> meters;
    if (!ReadBusMeters(busFile, meters, error))
        return false;
    const QString mbus = client + QStringLiteral("MBus");
    const QString mb = QStringLiteral("MB") + client;
    bool ok = WriteIniString("OVX", "OVXMandant", client, kOvxIni) && WriteIniString("OVX", "COM1", device, kOvxIni)
        && WriteIniString(mbus, "IntervallCom1", "0", kOvxIni) && WriteIniString(mbus, "RB6_StandardGroesse", "600", kOvxIni)
        && WriteIniString(mb, "MBSpeichern0", "1", kOvxIni) && WriteIniString(mb, "MBSpeichern1", "1", kOvxIni)
        && WriteIniString(mb, "MBSpeichern2", "1", kOvxIni) && WriteIniString(mb, "MBSpeichern3", "0", kOvxIni);
    if (!ok) {
        *error = QStringLiteral("OVX.INI nicht schreibbar");
        return false;
    }
    ResetClient();
    StartClient(QString());
    LoadUserConfig();
    EnsureDirectory(DBPATH);
    const QString file = DBPATH + QStringLiteral("basis.mdb");
    if (!CreateClientDatabase(file)) {
        *error = LastErrorText();
        return false;
    }
    SqlConnection db(QStringLiteral("demo.installation"));
    if (!OpenClientDatabase(db)) {
        *error = LastErrorText();
        return false;
    }
    if (db.scalar(QStringLiteral("SELECT Count(*) FROM zaehler")).toInt() > 0)
        return true; // an existing installation keeps its meters
    return AddMBusMeters(db, meters, 1, error);
}

} // namespace kelvaro::master
