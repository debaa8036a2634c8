// The order dialog under a quote stream, against the market watch alone in the same run.
//
//   absorb:   ticks per second the shown dialog works off (onPriceChanged for every quote, one
//             tick-chart redraw per 1, 10 or 100 quotes), its 200-second window already full
//             at 20 quotes a second; the baseline is the market watch repricing its row.
//   window:   time per recorded tick with a full window, against the market watch's row update;
//             the same with quotes in bursts of 100 per second, one erase against one front
//             removal per expired tick; bytes held per kept tick against the 24 bytes of data.
#include "marketwatch.h"
#include "new_order.h"
#include "symboldatastorage.h"
#include "tradeclient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QtTest>

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
        QVector<double> times, bids, asks;
        qint64 n = 0;
        for (; n < 4000; ++n)
            TickWindow::append(times, bids, asks, n * 0.05, 1.1, 1.1002);
        const double steady = ticksPerSecond(1, 1000, [&] {
            ++n;
            TickWindow::append(times, bids, asks, n * 0.05, 1.1, 1.1002);
        });
        std::printf("full window, steady: %.0f ticks/s, %d kept\n", steady, times.size());
        ratio("full_window_record_vs_marketwatch_time_per_tick", (1.0 / steady) / watchPerTick);

        const qint64 allocated = qint64(times.capacity() + bids.capacity() + asks.capacity()) * qint64(sizeof(double));
        std::printf("full window: %lld bytes held for %d ticks\n", allocated, times.size());
        ratio("full_window_bytes_per_tick_vs_24_bytes_of_data", double(allocated) / times.size() / 24.0);

        // Bursts of 100 quotes in the same second: each new second expires 100 ticks at once.
        const auto burst = [](auto record) {
            QVector<double> t, b, a;
            qint64 i = 0;
            for (; i < 20100; ++i)
                record(t, b, a, double(i / 100), 1.1, 1.1002);
            return ticksPerSecond(100, 1000, [&] {
                for (int k = 0; k < 100; ++k, ++i)
                    record(t, b, a, double(i / 100), 1.1, 1.1002);
            });
        };
        const double oneErase = burst(&TickWindow::append);
        const double oneByOne = burst(&appendRemovingOneByOne);
        std::printf("bursts of 100: one erase %.0f ticks/s, front removals %.0f ticks/s\n", oneErase, oneByOne);
        ratio("burst_one_erase_vs_front_removals_time_per_tick", oneByOne / oneErase);
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
