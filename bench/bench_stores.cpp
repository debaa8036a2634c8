// Price frames through the symbol store and the position store, against the bare decoding of
// the same frames. 1,000 symbols; every second frame repeats its symbol's last quote; open
// positions (10, 1,000 or 10,000) lie on 1 or on 50 of the symbols. The figures that matter
// are the ratios printed at the end: time per frame of the stores over time per frame of the
// bare decoding, measured in the same run.
#include "positiondatastore.h"
#include "symboldatastorage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int SymbolCount = 1000;
constexpr int FrameCount = 20000; // 10 new quotes per symbol, each followed by a repeat

QString symbolName(int i)
{
    return QStringLiteral("SYM%1").arg(i, 4, 10, QLatin1Char('0'));
}

const QVector<QByteArray> &frames()
{
    static const QVector<QByteArray> all = [] {
        QVector<QByteArray> result;
        result.reserve(FrameCount);
        for (int k = 0; k < FrameCount / 2; ++k) {
            const int symbol = k % SymbolCount;
            const double bid = 1.0 + symbol * 0.001 + (k / SymbolCount + 1) * 0.00001;
            QJsonObject quote{ { "res_code", 2 }, { "symbol", symbolName(symbol) },
                               { "bid", bid }, { "ask", bid + 0.00012 }, { "digits", 5 },
                               { "volume", 10000 }, { "min_vol", 100 }, { "max_vol", 1000000 },
                               { "step_vol", 100 }, { "bid_high", bid + 0.01 },
                               { "bid_low", bid - 0.01 }, { "ask_high", bid + 0.01 },
                               { "ask_low", bid - 0.01 } };
            quote.insert("timestamp", qint64(1700000000) + 2 * k);
            quote.insert("tm_ms", (qint64(1700000000) + 2 * k) * 1000);
            result.append(QJsonDocument(quote).toJson(QJsonDocument::Compact));
            quote.insert("timestamp", qint64(1700000000) + 2 * k + 1);
            quote.insert("tm_ms", (qint64(1700000000) + 2 * k + 1) * 1000);
            result.append(QJsonDocument(quote).toJson(QJsonDocument::Compact));
        }
        return result;
    }();
    return all;
}

QJsonArray openPositions(int count, int symbols)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i) {
        array.append(QJsonObject{ { "ticket", qint64(3000000000) + i },
                                  { "symbol", symbolName(i % symbols) },
                                  { "type", i % 3 ? "buy" : "sell" },
                                  { "volume", 1000 + i % 7 * 100 },
                                  { "price_o", 1.0 + i % 50 * 0.0001 },
                                  { "csize", 100000.0 }, { "r_profit", 1.0 },
                                  { "profit", 0.0 }, { "digits", 5 } });
    }
    return array;
}

void BM_ParseOnly(benchmark::State &state)
{
    const QVector<QByteArray> &all = frames();
    int next = 0;
    for (auto _ : state) {
        const QJsonObject reply = QJsonDocument::fromJson(all.at(next)).object();
        benchmark::DoNotOptimize(reply);
        next = next + 1 == all.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Stores(benchmark::State &state)
{
    const int positions = int(state.range(0));
    const int positionSymbols = int(state.range(1));
    const QVector<QByteArray> &all = frames();

    SymbolDataStorage symbols;
    PositionDataStore store;
    QObject::connect(&symbols, &SymbolDataStorage::tickChanged, &store,
                     &PositionDataStore::onPriceChanged);
    // The trade table and the summary line take every figure; here they only count them.
    qint64 announced = 0;
    QObject::connect(&store, &PositionDataStore::positionProfitChanged, &store,
                     [&](const Position &) { ++announced; });
    QObject::connect(&store, &PositionDataStore::netProfitChanged, &store,
                     [&](double) { ++announced; });
    qint64 accepted = 0;
    QObject::connect(&symbols, &SymbolDataStorage::tickChanged, &store,
                     [&](const TickData &) { ++accepted; });
    store.setOpenPositions(openPositions(positions, positionSymbols));

    int next = 0;
    for (auto _ : state) {
        symbols.onPriceReceived(QJsonDocument::fromJson(all.at(next)).object());
        next = next + 1 == all.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["accepted/s"] = benchmark::Counter(double(accepted), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(announced);
}

// Keeps the time per frame of every run so the ratios come from this one run.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        // With repetitions the median stands for the benchmark; otherwise its single run does.
        for (const Run &run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((single || median) && run.iterations > 0)
                perFrame[run.run_name.str()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        const auto base = perFrame.find("BM_ParseOnly");
        if (base == perFrame.end() || base->second <= 0)
            return;
        std::printf("\nTime per frame relative to the bare parse of the same frames "
                    "(BM_ParseOnly = 1.00, %.0f ns):\n", base->second);
        for (const auto &entry : perFrame)
            std::printf("  %-40s %6.2f\n", entry.first.c_str(), entry.second / base->second);
        for (const auto &entry : perFrame)
            std::printf("RATIO %s / BM_ParseOnly, per frame: %.2f\n", entry.first.c_str(), entry.second / base->second);
    }

private:
    std::map<std::string, double> perFrame;
};

} // namespace

BENCHMARK(BM_ParseOnly);
BENCHMARK(BM_Stores)
    ->ArgNames({ "positions", "symbols" })
    ->Args({ 0, 1 })
    ->Args({ 10, 1 })
    ->Args({ 10, 50 })
    ->Args({ 1000, 1 })
    ->Args({ 1000, 50 })
    ->Args({ 10000, 1 })
    ->Args({ 10000, 50 });

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
