// Decode throughput over the telegram corpus on the path a reading takes:
// frame check, header, every record to value, unit and kind of measurement.
// The display texts are measured separately.
//
// KELVARO_DECODE_ROUNDS=N adds both as "<name>/rounds" with exactly N rounds over
// the corpus, so that instruction counts are repeatable: under callgrind, the
// difference of two runs with different N over frames x rounds is the cost of
// one frame, start-up and corpus loading left out, e.g.
//   KELVARO_DECODE_ROUNDS=100 valgrind --tool=callgrind bench_decode --benchmark_filter='WithTexts/rounds'
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/recordtext.h"
#include "mbus/telegram.h"

#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

using namespace kelvaro::mbus;

namespace {

const std::vector<QByteArray>& corpus()
{
    static const std::vector<QByteArray> frames = [] {
        std::vector<QByteArray> out;
        const QDir dir(QStringLiteral(KELVARO_SOURCE_DIR "/../shared/testdata/mbus-telegrams/frames"));
        for (const QString& name : dir.entryList({QStringLiteral("*.hex")}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            QByteArray bytes;
            if (f.open(QIODevice::ReadOnly) && kelvaro::ParseHexBytes(QString::fromLatin1(f.readAll()), bytes))
                out.push_back(bytes);
        }
        return out;
    }();
    return frames;
}

// Decodes the whole corpus per iteration and hands every record to `use`.
template <typename PerRecord>
void decodeCorpus(benchmark::State& state, PerRecord use)
{
    const auto& frames = corpus();
    if (frames.empty()) {
        state.SkipWithError("telegram corpus not found");
        return;
    }
    Telegram t;
    std::int64_t frameCount = 0;
    std::int64_t recordCount = 0;
    for (auto _ : state) {
        for (const QByteArray& f : frames) {
            DecodeTelegram(ByteSpan(f), t);
            for (const DataRecord& r : t.records)
                use(t, r);
            recordCount += static_cast<std::int64_t>(t.records.size());
        }
        frameCount += static_cast<std::int64_t>(frames.size());
    }
    state.counters["frames/s"] = benchmark::Counter(double(frameCount), benchmark::Counter::kIsRate);
    state.counters["records/s"] = benchmark::Counter(double(recordCount), benchmark::Counter::kIsRate);
}

// The reading path: frame check, header, every record to value, unit and kind.
void BM_DecodeCorpus(benchmark::State& state)
{
    decodeCorpus(state, [](const Telegram&, const DataRecord& r) {
        benchmark::DoNotOptimize(r.value);
        benchmark::DoNotOptimize(r.info->unit);
    });
}
BENCHMARK(BM_DecodeCorpus);

// The same with the display texts made for every record.
void BM_DecodeCorpusWithTexts(benchmark::State& state)
{
    decodeCorpus(state, [](const Telegram& t, const DataRecord& r) {
        QString text = MeasurementText(t, r, Language::German);
        QString unit = UnitText(t, r);
        QString value = ValueDecText(t, r);
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(unit);
        benchmark::DoNotOptimize(value);
    });
}
BENCHMARK(BM_DecodeCorpusWithTexts);

[[maybe_unused]] const bool kFixedRounds = [] {
    const char* rounds = std::getenv("KELVARO_DECODE_ROUNDS");
    const long n = rounds ? std::strtol(rounds, nullptr, 10) : 0;
    if (n > 0) {
        benchmark::RegisterBenchmark("BM_DecodeCorpus/rounds", BM_DecodeCorpus)->Iterations(n);
        benchmark::RegisterBenchmark("BM_DecodeCorpusWithTexts/rounds", BM_DecodeCorpusWithTexts)->Iterations(n);
    }
    return n > 0;
}();

} // namespace
