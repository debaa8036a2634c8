// The chart-history keeper: loading an account's cache at login, merging replies, appending a
// live bar, and the memory a held bar costs. Each figure comes with a baseline measured in the
// same run (the "ratio" counters).
#include "chartcache.h"
#include "chartmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const QString Server = QStringLiteral("Bench");
constexpr qint64 LoadAccount = 1;     // 100 files of 10,000 bars and one of 1,000,000
constexpr qint64 MemoryAccount = 2;   // the 1,000,000-bar series alone
constexpr qint64 WriteAccount = 3;    // replies and appends write here
constexpr int SmallFiles = 100;
constexpr int SmallBars = 10000;
// Past the keeper's own limit: what is measured is the cost of long series, so each keeper here
// keeps them whole.
constexpr int LargeBars = 1000000;

CandleStick barAt(qint64 time)
{
    const double base = 1.0 + double(time % 1000) / 10000.0;
    return {time, base, base + 0.001, base - 0.001, base + 0.0005};
}

void writeSeries(qint64 account, const QString &symbol, int period, int count)
{
    const QString folder = ChartCache::folderPath(Server, account);
    QDir().mkpath(folder);
    QVector<CandleStick> candles;
    candles.reserve(count);
    for (int i = 0; i < count; ++i)
        candles.append(barAt(1500000000 + qint64(i) * period * 60));
    ChartCache::writeCandleFile(folder + QLatin1Char('/') + ChartCache::fileName(symbol, period),
                                candles);
}

void prepareCaches()
{
    for (int i = 0; i < SmallFiles; ++i)
        writeSeries(LoadAccount, QStringLiteral("SYM%1").arg(i, 3, 10, QLatin1Char('0')), 60, SmallBars);
    writeSeries(LoadAccount, QStringLiteral("LARGE"), 1, LargeBars);
    writeSeries(MemoryAccount, QStringLiteral("LARGE"), 1, LargeBars);
}

// Logs `keeper` into `account` and returns once every cached series has been announced.
void loadAccount(ChartManager &keeper, qint64 account, int series)
{
    keeper.setSeriesLimit(LargeBars);
    QEventLoop loop;
    int announced = 0;
    QObject::connect(&keeper, &ChartManager::readyChartHistory, &loop, [&] {
        if (++announced == series)
            loop.quit();
    });
    keeper.setAccount(account, Server);
    if (announced < series)
        loop.exec();
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

QJsonObject makeReply(int bars)
{
    QJsonArray array;
    for (int i = 0; i < bars; ++i) {
        const CandleStick c = barAt(1500000000 + qint64(i) * 60);
        array.append(QJsonObject{{"datetime", c.timestamp}, {"open", c.open}, {"high", c.high},
                                 {"low", c.low}, {"close", c.close}});
    }
    return {{"res_code", 3}, {"symbol", "EURUSD"}, {"interval", 1}, {"array", array}};
}

// Memory first, while the process has freed nothing yet that a later allocation could reuse.
void BM_ResidentMemoryPerBar(benchmark::State &state)
{
    for (auto _ : state) {
        malloc_trim(0);
        const qint64 before = residentBytes();
        ChartManager keeper(nullptr);
        loadAccount(keeper, MemoryAccount, 1);
        const qint64 after = residentBytes();
        const double perBar = double(after - before) / LargeBars;
        state.counters["bytes_per_bar"] = perBar;
        state.counters["ratio_to_record"] = perBar / ChartCache::RecordSize;
        benchmark::DoNotOptimize(keeper.getChartHistory(QStringLiteral("LARGE"), 1).size());
    }
}
BENCHMARK(BM_ResidentMemoryPerBar)->Iterations(1)->Unit(benchmark::kMillisecond);

// Login with a cache of 2,000,000 bars in 101 files, against reading the same files whole.
void BM_LoadAccount(benchmark::State &state)
{
    const QFileInfoList files = QDir(ChartCache::folderPath(Server, LoadAccount)).entryInfoList(QDir::Files);
    double readAllSeconds = 0;
    double loadSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        qint64 bytes = 0;
        for (const QFileInfo &info : files) {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            bytes += file.readAll().size();
        }
        benchmark::DoNotOptimize(bytes);
        const double readAll = clock.nsecsElapsed() / 1e9;

        auto keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setSeriesLimit(LargeBars);
        clock.restart();
        loadAccount(*keeper, LoadAccount, int(files.size()));
        const double load = clock.nsecsElapsed() / 1e9;
        keeper.reset();
        state.SetIterationTime(load);
        readAllSeconds += readAll;
        loadSeconds += load;
    }
    state.counters["readAll_ms"] = readAllSeconds * 1000 / state.iterations();
    state.counters["ratio_to_readAll"] = loadSeconds / readAllSeconds;
    state.counters["bars_per_s"] = benchmark::Counter(double(SmallFiles * SmallBars + LargeBars) * state.iterations() / loadSeconds);
}
BENCHMARK(BM_LoadAccount)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// One reply merged into an empty series of a logged-in account, the copy for its cache rewrite
// included, against a plain pass that reads every bar of the reply into a vector.
void BM_MergeReply(benchmark::State &state)
{
    const int bars = int(state.range(0));
    const QJsonObject reply = makeReply(bars);
    double baselineSeconds = 0;
    double mergeSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QVector<CandleStick> plain;
        plain.reserve(bars);
        for (const QJsonValue &bar : reply.value(QLatin1String("array")).toArray())
            plain.append(ChartManager::candleFromJson(bar));
        benchmark::DoNotOptimize(plain.data());
        baselineSeconds += clock.nsecsElapsed() / 1e9;

        auto keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setSeriesLimit(LargeBars);
        QDir(ChartCache::folderPath(Server, WriteAccount)).removeRecursively();
        keeper->setAccount(WriteAccount, Server); // no cache yet: nothing to load
        clock.restart();
        keeper->updateChartHistoryFromServer(reply);
        const double merge = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(merge);
        mergeSeconds += merge;
        keeper.reset(); // waits for the cache rewrite, outside the measured time
    }
    state.counters["ns_per_bar"] = mergeSeconds * 1e9 / (double(bars) * state.iterations());
    state.counters["ratio_to_plain_pass"] = mergeSeconds / baselineSeconds;
}
BENCHMARK(BM_MergeReply)->Arg(2000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);

// A finished live bar on a series of 100,000 bars: store and append to the cache file, against
// opening the same file and appending 40 bytes with QFile alone.
void BM_AppendCandleStick(benchmark::State &state)
{
    QDir(ChartCache::folderPath(Server, WriteAccount)).removeRecursively();
    ChartManager keeper(nullptr);
    keeper.setSeriesLimit(LargeBars);
    keeper.setAccount(WriteAccount, Server);
    keeper.updateChartHistoryFromServer(makeReply(100000));
    qint64 time = 1500000000 + qint64(100000) * 60;
    const QString path = ChartCache::folderPath(Server, WriteAccount) + QStringLiteral("/EURUSD_1");
    // Let the rewrite after the reply finish, so every append below goes straight to the file.
    while (QFileInfo(path).size() != 99999 * ChartCache::RecordSize)
        QThread::msleep(1);
    const QString rawPath = ChartCache::folderPath(Server, WriteAccount) + QStringLiteral("/RAW_1");
    char record[ChartCache::RecordSize] = {};
    double rawSeconds = 0;
    double appendSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        {
            QFile raw(rawPath);
            raw.open(QIODevice::WriteOnly | QIODevice::Append);
            raw.write(record, sizeof record);
        }
        rawSeconds += clock.nsecsElapsed() / 1e9;

        const CandleStick c = barAt(time += 60);
        clock.restart();
        keeper.appendCandleStick(QStringLiteral("EURUSD"), 1, c.timestamp, c.open, c.high, c.low, c.close);
        const double append = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(append);
        appendSeconds += append;
    }
    state.counters["ratio_to_raw_append"] = appendSeconds / rawSeconds;
    benchmark::DoNotOptimize(QFileInfo(path).size());
}
// The loader's share of a login: decoding the same files into maps, in one thread.
void BM_ReadCacheFiles(benchmark::State &state)
{
    const QFileInfoList files = QDir(ChartCache::folderPath(Server, LoadAccount)).entryInfoList(QDir::Files);
    for (auto _ : state) {
        qint64 bars = 0;
        for (const QFileInfo &info : files)
            bars += ChartCache::readCandleFile(info.filePath()).size();
        benchmark::DoNotOptimize(bars);
    }
}
BENCHMARK(BM_ReadCacheFiles)->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_AppendCandleStick)->Iterations(20000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Prints every "ratio..." counter once more at the end, in the form scripts/bench collects.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            for (const auto &counter : run.counters) {
                if (counter.first.rfind("ratio", 0) == 0)
                    ratios.push_back("RATIO " + run.benchmark_name() + " " + counter.first + ": "
                                     + std::to_string(double(counter.second)));
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const std::string &line : ratios)
            std::printf("%s\n", line.c_str());
    }

private:
    std::vector<std::string> ratios;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/corvane-bench-XXXXXX"));
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    prepareCaches();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
