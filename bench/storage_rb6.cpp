// RB6 files: creating a master-size file, appending to one file and round-robin over many.
#include "foundation/clientpaths.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/stat.h>

using namespace kelvaro;

namespace {

struct Workspace {
    QTemporaryDir dir{QDir::currentPath() + "/rb6bench-XXXXXX"};
    Workspace()
    {
        Mandant = "200";
        DBPATH = dir.path() + "/";
    }
};

qint64 diskBytes(const QString& file)
{
    struct stat st {};
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

void BM_RB6CreateMasterFile(benchmark::State& state)
{
    Workspace ws;
    int n = 0;
    qint64 disk = 0;
    for (auto _ : state) {
        const QString name = ws.dir.path() + QStringLiteral("/new%1.ovx").arg(n++);
        if (RB6Create(name, 1, 1, kRB6MasterBlockCount) != 0)
            state.SkipWithError("create failed");
        state.PauseTiming();
        disk = diskBytes(name);
        QFile::remove(name);
        state.ResumeTiming();
    }
    state.counters["file_MB"] = kRB6MasterBlockCount * double(kRB6BlockBytes) / 1e6;
    state.counters["disk_kB"] = disk / 1024.0;
}
BENCHMARK(BM_RB6CreateMasterFile)->Unit(benchmark::kMillisecond);

// For comparison: what writing the zeros of a 6000-block file costs.
void BM_RB6ZeroFilledFile(benchmark::State& state)
{
    Workspace ws;
    const QByteArray block(kRB6BlockBytes, '\0');
    for (auto _ : state) {
        QFile f(ws.dir.path() + "/zeros.ovx");
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        for (int k = 0; k < kRB6MasterBlockCount; ++k)
            f.write(block);
        f.flush();
        f.close();
        state.PauseTiming();
        state.counters["disk_kB"] = diskBytes(f.fileName()) / 1024.0;
        f.remove();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RB6ZeroFilledFile)->Unit(benchmark::kMillisecond);

void BM_RB6AppendOneFile(benchmark::State& state)
{
    Workspace ws;
    QString name;
    qint64 t = 1'700'000'000;
    RB6Append(DBPATH, 1, t++, 0.0, 1, name);
    for (auto _ : state) {
        if (RB6Append(DBPATH, 1, t++, 1.5, 1, name) != 0)
            state.SkipWithError("append failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RB6AppendOneFile)->UseRealTime();

void BM_RB6AppendRoundRobin1000Files(benchmark::State& state)
{
    Workspace ws;
    constexpr int files = 1000;
    QList<QString> names(files);
    for (int k = 0; k < files; ++k)
        RB6Append(DBPATH, k + 1, 1'700'000'000, 0.0, 1, names[k]);
    qint64 t = 1'700'000'001;
    int k = 0;
    for (auto _ : state) {
        if (RB6Append(DBPATH, k + 1, t, 2.5, 1, names[k]) != 0)
            state.SkipWithError("append failed");
        if (++k == files) {
            k = 0;
            ++t;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RB6AppendRoundRobin1000Files)->UseRealTime();

} // namespace
