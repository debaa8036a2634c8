// The order dialog under a quote stream, against the market watch alone in the same run.
//
//   absorb:   ticks per second the shown dialog works off (onPriceChanged for every quote, one
//             tick-chart redraw per 1, 10 or 100 quotes), its 200-second window already full
//             at 20 quotes a second; the baseline is the market watch repricing its row.
//   window:   time per recorded tick with a full window, against the market watch's row update;
//             the same with quotes in bursts of 100 per second, one erase against one front
//             removal per expired tick; bytes held per kept tick against the 24 bytes of data.
//   flood:    a server whose clock stands still, 4.3 M quotes over 8 symbols (a minute of the
//             flood seen) recorded by a hidden dialog: ticks kept against the caps, resident
//             memory after against before, and time per tick against the uncapped recording
//             (three maps of vectors that only the span trimmed) fed the same flood after it.
#include "marketwatch.h"
#include "residentmemory.h"
#include "new_order.h"
#include "symboldatastorage.h"
#include "tradeclient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QtTest>

#include <QMap>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 StartMs = 1700000000000LL;
constexpr qint64 QuoteGapMs = 50; // 20 quotes a second: 4,000 ticks in a full window

TickData quote(const QString &symbol, qint64 n)
{
    const double bid = 1.1 + (n % 997) * 0.00001;
    return TickData{symbol, (StartMs + n * QuoteGapMs) / 1000, bid, bid + 0.00012, 0.0, StartMs + n * QuoteGapMs,
                    5, 0.01, 100.0, 0.01, 1.2, 1.0, 1.2, 1.0};
}

void ratio(const char *name, double value)
{
    std::printf("RATIO %s: %.3f\n", name, value);
    std::fflush(stdout);
}

// Runs `step` (which handles `perStep` ticks) until at least `budgetMs` have passed; ticks/s.
template <typename F>
double ticksPerSecond(int perStep, qint64 budgetMs, F step)
{
    QElapsedTimer clock;
    qint64 ticks = 0;
    clock.start();
    while (clock.elapsed() < budgetMs) {
        step();
        ticks += perStep;
    }
    return ticks * 1e9 / double(clock.nsecsElapsed());
}

// The recording rule before it erased in one step: one front removal per expired tick.
void appendRemovingOneByOne(QVector<double> &times, QVector<double> &bids, QVector<double> &asks, double time,
                            double bid, double ask)
{
    while (!times.isEmpty() && time - times.first() > TickWindow::Span) {
        times.removeFirst();
        bids.removeFirst();
        asks.removeFirst();
    }
    times.append(time);
    bids.append(bid);
    asks.append(ask);
}

// The recording before the caps, as the dialog did it: a map per field, trimmed by the span only.
struct UncappedHistory {
    QMap<QString, QVector<double>> times, bids, asks;
    QMap<QString, int> digits;
    void append(const TickData &tick)
    {
        digits[tick.symbol] = tick.digits;
        QVector<double> &t = times[tick.symbol];
        QVector<double> &b = bids[tick.symbol];
        QVector<double> &a = asks[tick.symbol];
        const double time = double(tick.tm_ms) / 1000.0;
        int expired = 0;
        while (expired < t.size() && time - t.at(expired) > TickWindow::Span)
            ++expired;
        if (expired > 0) {
            t.erase(t.begin(), t.begin() + expired);
            b.erase(b.begin(), b.begin() + expired);
            a.erase(a.begin(), a.begin() + expired);
        }
        t.append(time);
        b.append(tick.bid);
        a.append(tick.ask);
    }
};

constexpr int FloodSymbols = 8;
constexpr qint64 FloodQuotes = 4300000;

TickData floodQuote(qint64 n)
{
    static const QStringList names{"EURUSD", "GBPUSD", "USDJPY", "USDCHF", "AUDUSD", "USDCAD", "NZDUSD", "EURGBP"};
    const double bid = 1.1 + (n % 997) * 0.00001;
    return TickData{names.at(int(n % FloodSymbols)), StartMs / 1000, bid, bid + 0.00012, 0.0, StartMs,
                    5, 0.01, 100.0, 0.01, 1.2, 1.0, 1.2, 1.0};
}

} // namespace

class BenchOrderDialog : public QObject
{
    Q_OBJECT

    double marketWatchTicksPerSecond()
    {
        QTableWidget table(0, MarketWatch::ColumnCount);
        SymbolDataStorage store;
        MarketWatch watch(&table);
        QStringList symbols;
        for (int i = 0; i < 20; ++i)
            symbols << QStringLiteral("SYM%1").arg(i);
        watch.setSymbols(symbols);
        watch.rebuild(store);
        qint64 n = 0;
        return ticksPerSecond(1, 1000, [&] { watch.updateRow(quote(QStringLiteral("SYM0"), ++n)); });
    }

private slots:
    void absorb()
    {
        const double baseline = marketWatchTicksPerSecond();
        std::printf("market watch alone: %.0f ticks/s\n", baseline);
        for (int perRedraw : {1, 10, 100}) {
            TradeClient client;
            New_Order dialog(&client, nullptr);
            dialog.setSymbolList({QStringLiteral("EURUSD"), QStringLiteral("GBPUSD")});
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            qint64 n = 0;
            for (; n < 4000; ++n) // a full window before measuring
                dialog.onPriceChanged(quote(QStringLiteral("EURUSD"), n));
            const double absorbed = ticksPerSecond(perRedraw, 2000, [&] {
                for (int i = 0; i < perRedraw; ++i)
                    dialog.onPriceChanged(quote(QStringLiteral("EURUSD"), ++n));
                dialog.drawTickGraph();
            });
            std::printf("dialog, %3d quotes per redraw: %.0f ticks/s\n", perRedraw, absorbed);
            const QByteArray name = "dialog_vs_marketwatch_ticks_per_s_" + QByteArray::number(perRedraw) + "_per_redraw";
            ratio(name.constData(), absorbed / baseline);
        }
    }

    void window()
    {
        const double watchPerTick = 1.0 / marketWatchTicksPerSecond();

        // Steady quotes: every tick expires about one.
        const QString symbol = QStringLiteral("EURUSD");
        TickWindow::History history;
        qint64 n = 0;
        for (; n < 4000; ++n)
            history.append(symbol, n * 0.05, 1.1, 1.1002, 5);
        const double steady = ticksPerSecond(1, 1000, [&] {
            ++n;
            history.append(symbol, n * 0.05, 1.1, 1.1002, 5);
        });
        std::printf("full window, steady: %.0f ticks/s, %d kept\n", steady, history.total());
        ratio("full_window_record_vs_marketwatch_time_per_tick", (1.0 / steady) / watchPerTick);

        const TickWindow::Series *kept = history.find(symbol);
        std::printf("full window: %lld bytes held for %d ticks\n", kept->bytesHeld(), kept->size());
        ratio("full_window_bytes_per_tick_vs_24_bytes_of_data", double(kept->bytesHeld()) / kept->size() / 24.0);

        // Bursts of 100 quotes in the same second: each new second expires 100 ticks at once.
        const auto burst = [](auto record) {
            qint64 i = 0;
            for (; i < 20100; ++i)
                record(double(i / 100));
            return ticksPerSecond(100, 1000, [&] {
                for (int k = 0; k < 100; ++k, ++i)
                    record(double(i / 100));
            });
        };
        TickWindow::History bursty;
        const double oneErase = burst([&](double time) { bursty.append(symbol, time, 1.1, 1.1002, 5); });
        QVector<double> t, b, a;
        const double oneByOne = burst([&](double time) { appendRemovingOneByOne(t, b, a, time, 1.1, 1.1002); });
        std::printf("bursts of 100: one erase %.0f ticks/s, front removals %.0f ticks/s\n", oneErase, oneByOne);
        ratio("burst_one_erase_vs_front_removals_time_per_tick", oneByOne / oneErase);
    }

    void flood()
    {
        TradeClient client;
        const qint64 before = ResidentMemory::kib("VmRSS:");
        QElapsedTimer clock;
        qint64 cappedNs = 0;
        {
            New_Order dialog(&client, nullptr); // hidden, as it records while the trader trades
            clock.start();
            for (qint64 n = 0; n < FloodQuotes; ++n)
                dialog.appendTickGraph(floodQuote(n));
            cappedNs = clock.nsecsElapsed();
            const qint64 after = ResidentMemory::kib("VmRSS:");
            const TickWindow::History &history = dialog.recordedTicks();
            std::printf("capped: %d ticks kept of %lld (symbol cap %d, total cap %d), EURUSD %d; rss %lld -> %lld KiB\n",
                        history.total(), FloodQuotes, TickWindow::SymbolCap, TickWindow::TotalCap,
                        history.find(QStringLiteral("EURUSD"))->size(), before, after);
            ratio("flood_ticks_kept_vs_8_symbol_caps", double(history.total()) / (FloodSymbols * TickWindow::SymbolCap));
            ratio("flood_rss_after_vs_before", double(after) / double(before));
        }
        // The uncapped recording second, so its memory does not start from a heap it grew.
        const qint64 uncappedBefore = ResidentMemory::kib("VmRSS:");
        UncappedHistory uncapped;
        clock.restart();
        for (qint64 n = 0; n < FloodQuotes; ++n)
            uncapped.append(floodQuote(n));
        const qint64 uncappedNs = clock.nsecsElapsed();
        const qint64 uncappedAfter = ResidentMemory::kib("VmRSS:");
        std::printf("uncapped: %d EURUSD ticks kept; rss %lld -> %lld KiB\n", uncapped.times.value("EURUSD").size(),
                    uncappedBefore, uncappedAfter);
        ratio("flood_uncapped_rss_after_vs_before", double(uncappedAfter) / double(uncappedBefore));
        std::printf("time per tick: capped %.1f ns, uncapped %.1f ns\n", double(cappedNs) / FloodQuotes,
                    double(uncappedNs) / FloodQuotes);
        ratio("flood_capped_vs_uncapped_time_per_tick", double(cappedNs) / double(uncappedNs));
    }
};

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchOrderDialog bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_orderdialog.moc"
