#pragma once
// The editors against a real client database of each engine: client 200 on
// its SQLite file, client 1450 on a PostgreSQL server (its dnq.conf settings).
#include "data/testdatabase.h"
#include "editors/editordatabase.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"

#include <QSqlQuery>

namespace kelvaro::test {

class EditorTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Mandant = GetParam() == Engine::PostgreSQL ? QStringLiteral("1450") : QStringLiteral("200");
        settings_ = EditorDatabaseSettings::forClient(Mandant, DBPATH, DBConfig);
        ASSERT_TRUE(check_.isOpen() || db_->openInto(check_)) << LastErrorText().toStdString();
    }
    void TearDown() override { check_.close(); }

    // A connection of the test's own, to set up rows and look at them.
    SqlConnection& db() { return check_; }

    qint64 addMeter(const QString& znr, int address, int port, const QString& source = QStringLiteral("M-Bus"))
    {
        EXPECT_TRUE(db().exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, MBAdr, MBComP, MBBaud, MBIndex, MBZStand, "
                              "Tarifgrp) VALUES (?, ?, ?, ?, ?, 2400, 1, 1, 1)",
                              {znr, QStringLiteral("Name ") + znr, source, address, port}))
            << LastErrorText().toStdString();
        return db().scalar("SELECT MAX(LZNR) FROM zaehler").toLongLong();
    }
    qint64 count(const QString& table, qint64 lznr)
    {
        return db().scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table + QStringLiteral(" WHERE lznr = ?"), {lznr})
            .toLongLong();
    }

    EditorDatabaseSettings settings_;
    SqlConnection check_{QStringLiteral("kelvaro.test.check")};
};

} // namespace kelvaro::test
