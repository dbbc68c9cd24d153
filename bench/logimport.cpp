// Log import speed: a year of hourly cycles of 250 meters with 5 values each
// (about 11 million lines in 365 day files), imported into empty RB6 files;
// beside it the time `wc -l` takes to count the same files.
//   bench_logimport [--benchmark_filter=...]   KELVARO_BENCH_DAYS=n for fewer days
#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "logimport/logimport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace kelvaro;
using namespace kelvaro::logimport;

namespace {

constexpr int kMeters = 250;
constexpr int kValues = 5;

int dayCount() { return qEnvironmentVariableIsSet("KELVARO_BENCH_DAYS") ? qEnvironmentVariableIntValue("KELVARO_BENCH_DAYS") : 365; }

struct Installation {
    QTemporaryDir dir{QDir::currentPath() + "/logimport-bench-XXXXXX"};
    QDate first{2025, 1, 1};
    qint64 lines = 0;
    QStringList files;

    Installation()
    {
        Mandant = "1320";
        DBPATH = dir.path() + "/DB1320/";
        DatenPath = DBPATH;
        CreateClientDatabase(DBPATH + "basis.mdb");
        SqlConnection db("bench.meters");
        OpenClientDatabase(db);
        db.transaction();
        for (int m = 1; m <= kMeters; ++m) {
            const int port = 1 + (m - 1) / 125; // two ports with the same addresses
            db.exec("INSERT INTO zaehler (LZNR, Stufe, ZQuelle, MBComP, MBAdr, MB_ID, MBIndex, ZName) "
                    "VALUES (?, 1, 'M-Bus', ?, ?, ?, 1, ?)",
                    {m, port, 1 + (m - 1) % 125, QString::number(40000000 + m), QStringLiteral("Wärme %1").arg(m)});
            for (int i = 1; i <= kValues; ++i)
                db.exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, Speichern) VALUES (?, ?, ?)", {m, i, true});
        }
        db.commit();
        db.close();
        QDir().mkpath(DBPATH + "MBusLog");
        for (int d = 0; d < dayCount(); ++d)
            writeDay(first.addDays(d));
    }

    void writeDay(const QDate& day)
    {
        QByteArray text = "Zeitstempel;Z\xE4hlernummer;Z\xE4hlernummer;ComPort;PrimAdr;Wert;Einheit;\r\n";
        const QByteArray date = day.toString("dd.MM.yy ").toLatin1();
        for (int h = 0; h < 24; ++h) {
            text += date + QByteArray::number(h).rightJustified(2, '0') + ":00:00 ;Datenholen gestartet\r\n";
            for (int m = 1; m <= kMeters; ++m) {
                const QByteArray time = date + QByteArray::number(h).rightJustified(2, '0') + ":00:"
                    + QByteArray::number(m % 60).rightJustified(2, '0') + " ;";
                for (int i = 1; i <= kValues; ++i) {
                    const double value = (day.dayOfYear() * 24 + h) * 0.125 + m * 1000.0 + i;
                    text += time + QByteArray::number(40000000 + m) + ";W\xE4rme;" + QByteArray::number(1 + (m - 1) / 125)
                        + ';' + QByteArray::number(1 + (m - 1) % 125) + ';' + QByteArray::number(i) + ';'
                        + QByteArray::number(value, 'f', 3).replace('.', ',') + ";kWh;\r\n";
                }
            }
        }
        const QString name = DBPATH + "MBusLog/" + day.toString("yyMMdd") + "mb.log";
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(text);
        lines += text.count('\n');
        files << name;
    }
};

Installation& installation()
{
    static Installation i;
    return i;
}

void BM_ImportYear(benchmark::State& state)
{
    Installation& inst = installation();
    LogImportSettings settings;
    settings.client = "1320";
    settings.dbPath = inst.dir.path() + "/DB1320/";
    settings.database.dataSource = settings.dbPath + "basis.mdb";
    settings.database.catalog = "1";
    qint64 written = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QDir(settings.dbPath + "Z1320").removeRecursively();
        state.ResumeTiming();
        const ImportSummary s = LogImport(settings).importRange(inst.first, inst.first.addDays(dayCount() - 1));
        if (s.failed)
            state.SkipWithError(s.error.toUtf8().constData());
        written = s.valuesWritten;
    }
    state.counters["lines"] = double(inst.lines);
    state.counters["values"] = double(written);
    state.counters["lines/s"] = benchmark::Counter(double(inst.lines), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportYear)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_WcCountsTheSameFiles(benchmark::State& state)
{
    Installation& inst = installation();
    for (auto _ : state) {
        QProcess wc;
        wc.start("wc", QStringList{"-l"} + inst.files);
        wc.waitForFinished(-1);
    }
    state.counters["lines/s"] = benchmark::Counter(double(inst.lines), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WcCountsTheSameFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
