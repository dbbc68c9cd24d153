#pragma once
// A client installation with meters and daily M-Bus logs to import.
#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "logimport/logimport.h"
#include "storage/rb6file.h"
#include "testsupport.h"

#include <QDir>

namespace kelvaro::test {

inline QString LogLine(const QString& time, const QString& id, const QString& name, int port, int address, int index,
                       const QString& value, const QString& unit = QStringLiteral("kWh"))
{
    return QStringLiteral("%1 ;%2;%3;%4;%5;%6;%7;%8;\r\n")
        .arg(time, id, name)
        .arg(port)
        .arg(address)
        .arg(index)
        .arg(value, unit);
}

class ImportFixture {
public:
    ImportFixture()
    {
        Mandant = QStringLiteral("1320");
        DBPATH = QStringLiteral(".\\DB1320\\");
        DatenPath = DBPATH;
        ready = CreateClientDatabase(DBPATH + QStringLiteral("basis.mdb"));
        settings.client = Mandant;
        settings.dbPath = DBPATH;
        settings.lockWaitMs = 3000;
    }
    ~ImportFixture() { DAODatabase().close(); }

    // A meter with the store flag of each listed index (true: "Speichern").
    void addMeter(qint64 lznr, int port, int address, const QString& id, const QString& name, int mainIndex,
                  const QList<std::pair<int, bool>>& indexes)
    {
        SqlConnection db(QStringLiteral("fixture.meters"));
        ASSERT_TRUE(OpenClientDatabase(db));
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO zaehler (LZNR, Stufe, ZQuelle, MBComP, MBAdr, MB_ID, MBIndex, "
                                           "ZName) VALUES (?, 1, 'M-Bus', ?, ?, ?, ?, ?)"),
                            {lznr, port, address, id, mainIndex, name}));
        for (const auto& [index, store] : indexes)
            ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO MB_IndexListe (Lznr, MBIndex, Speichern) VALUES (?, ?, ?)"),
                                {lznr, index, store}));
    }
    QString logName(const QDate& day) const
    {
        return QStringLiteral("DB1320/MBusLog/") + day.toString(QStringLiteral("yyMMdd")) + QStringLiteral("mb.log");
    }
    void writeLog(const QDate& day, const QString& lines)
    {
        QDir().mkpath(QStringLiteral("DB1320/MBusLog"));
        dir.write(logName(day), "Zeitstempel;Z\xE4hlernummer;Z\xE4hlernummer;ComPort;PrimAdr;Wert;Einheit;\r\n"
                                    + lines.toLatin1());
    }
    QString rb6(qint64 lznr, int slot) const
    {
        return QStringLiteral("DB1320/Z1320/%1%2.ovx").arg(lznr, 6, 10, QChar('0')).arg(slot, 3, 10, QChar('0'));
    }
    QList<RB6Element> elements(qint64 lznr, int slot) const
    {
        QList<RB6IndexedElement> read;
        QList<RB6Element> out;
        if (!RB6ReadElements(rb6(lznr, slot), read))
            return out;
        for (const RB6IndexedElement& e : read)
            out << e.element;
        return out;
    }
    QStringList rb6Files() const { return QDir(QStringLiteral("DB1320/Z1320")).entryList({"*.ovx"}, QDir::Files); }

    InstallationDir dir;
    logimport::LogImportSettings settings;
    bool ready = false;
};

} // namespace kelvaro::test
