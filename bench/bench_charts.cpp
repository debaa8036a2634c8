// Chart windows under load, each figure against a baseline measured in the same run:
//
//   replot:   one full redraw of a 1200 x 700 chart with 50, 500, 5,000 and 50,000 bars in view,
//             against one 60 Hz frame (16.7 ms).
//   quote:    one live quote inside the forming bar, and one that opens a bar, with 1k, 10k and
//             100k bars loaded, against the same with 1k bars (flat means one bar touched and
//             the value axes fitted over the bars in view only); with no indicator shown and
//             with every pane and the Bollinger bands shown.
//   onPrice:  one quote through the main window's handler with 1, 20 and 100 charts open,
//             against the handler with no chart.
//   idle:     process CPU time over 3 s of the shown window with 8 charts and no quotes,
//             against the same window with no charts, and against 8 charts redrawn on every
//             timer tick whether anything changed or not.
//   restore:  a workspace of 10 charts restored at login while the cache of 100k bars each
//             loads, up to every chart showing its bars, against the same workspace with
//             nothing cached; then a reply of a few newer bars per chart. Prints the full
//             rebuilds per restored chart (one is the cache's).
#include "chartcache.h"
#include "chartmanager.h"
#include "client_terminal.h"
#include "livequote.h"
#include "symbolchartwidget.h"
#include "symboldatastorage.h"
#include "tradeclient.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <ctime>
#include <functional>

namespace {

constexpr qint64 Start = 1500000000; // a whole hour
constexpr double FrameMs = 1000.0 / 60.0;

QList<CandleStick> hourBars(int count)
{
    QList<CandleStick> bars;
    bars.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double base = 1.1 + 0.0001 * (i % 97);
        bars.append({Start + i * 3600LL, base, base + 0.0008, base - 0.0007, base + (i % 2 ? -0.0003 : 0.0003)});
    }
    return bars;
}

// Milliseconds per call, the median of `rounds` rounds of `calls` calls.
double msPerCall(int rounds, int calls, const std::function<void()> &call)
{
    QVector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        for (int c = 0; c < calls; ++c)
            call();
        samples.append(clock.nsecsElapsed() / 1e6 / calls);
    }
    std::sort(samples.begin(), samples.end());
    return samples.at(samples.size() / 2);
}

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double idleCpu(int charts, bool redrawAlways)
{
    TradeClient client;
    Client_Terminal window(&client);
    window.resize(1600, 1000);
    window.show();
    for (int i = 0; i < charts; ++i)
        window.createNewChart(QStringLiteral("SYM%1").arg(i), 60)->setCandleStickData(hourBars(2000));
    window.on_actionTile_Windows_triggered();
    QTimer always;
    QObject::connect(&always, &QTimer::timeout, &window, [&window] {
        for (SymbolChartWidget *chart : window.chartWindows())
            chart->replot(QCustomPlot::rpRefreshHint);
    });
    if (redrawAlways)
        always.start(50);
    QTest::qWait(500); // settle: first paints, layouts
    const double before = cpuSeconds();
    QTest::qWait(3000);
    return cpuSeconds() - before;
}

double restoreMs(int cachedBars, double *rebuildsPerChart)
{
    const QString server = QStringLiteral("Bench");
    const qint64 account = 1000 + cachedBars;
    const QString folder = QStringLiteral("config/%1/%2").arg(server).arg(account);
    QDir().mkpath(ChartCache::folderPath(server, account));
    QString charts;
    const QList<CandleStick> cached = hourBars(cachedBars);
    for (int i = 0; i < 10; ++i) {
        const QString symbol = QStringLiteral("SYM%1").arg(i);
        if (cachedBars > 0)
            ChartCache::writeCandleFile(ChartCache::folderPath(server, account) + '/' + ChartCache::fileName(symbol, 60),
                                        cached.toVector());
        charts += symbol + QStringLiteral(",0,0,0,800,500,60\n");
    }
    QFile file(folder + QStringLiteral("/charts"));
    file.open(QIODevice::WriteOnly);
    file.write(charts.toUtf8());
    file.close();

    TradeClient client;
    Client_Terminal window(&client);
    window.resize(1600, 1000);
    window.show();
    auto *keeper = window.findChild<ChartManager *>();
    QElapsedTimer clock;
    clock.start();
    // As the login does it: the account first, then the workspace, while the cache loads.
    keeper->setAccount(account, server);
    window.restoreLayout(account, server);
    if (window.chartWindows().size() != 10)
        qFatal("restore opened %d charts", int(window.chartWindows().size()));
    // A full rebuild installs a new bar-time ticker; seen after each announcement, which the
    // charts take before this (their connections came first).
    QHash<SymbolChartWidget *, QCPAxisTicker *> tickers;
    int rebuilds = 0;
    const auto count = [&] {
        for (SymbolChartWidget *chart : window.chartWindows()) {
            QCPAxisTicker *ticker = chart->xAxis->ticker().data();
            if (tickers.contains(chart) && tickers.value(chart) != ticker)
                ++rebuilds;
            tickers.insert(chart, ticker);
        }
    };
    count();
    QObject::connect(keeper, &ChartManager::readyChartHistory, &window, count, Qt::QueuedConnection);
    QObject::connect(keeper, &ChartManager::cacheLoaded, &window, count, Qt::QueuedConnection);
    const auto shown = [&] {
        for (SymbolChartWidget *chart : window.chartWindows())
            if (chart->findChild<QCPFinancial *>()->dataCount() < cachedBars)
                return false;
        return !keeper->isLoading();
    };
    while (!shown())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents(); // the announcements still queued, first layouts
    const double ms = clock.nsecsElapsed() / 1e6;
    // The server's answer: the bars from the newest cached one on.
    for (int i = 0; i < 10; ++i) {
        QJsonArray array;
        for (const CandleStick &bar : hourBars(cachedBars + 3).mid(qMax(0, cachedBars - 1)))
            array.append(QJsonObject{{"datetime", bar.timestamp}, {"open", bar.open}, {"high", bar.high},
                                     {"low", bar.low}, {"close", bar.close}});
        keeper->updateChartHistoryFromServer(
            {{"symbol", QStringLiteral("SYM%1").arg(i)}, {"interval", 60}, {"array", array}});
    }
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    *rebuildsPerChart = rebuilds / 10.0;
    return ms;
}

void ratio(const char *name, double value)
{
    qInfo("RATIO %s: %.3f", name, value);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/corvane-bench-XXXXXX"));
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    Q_INIT_RESOURCE(resources);

    // --- replot ---
    for (int bars : {50, 500, 5000, 50000}) {
        SymbolChartWidget chart(nullptr, QStringLiteral("EURUSD"), 60);
        chart.resize(1200, 700);
        chart.show();
        chart.setCandleStickData(hourBars(bars));
        chart.xAxis->setRange(-1, bars);
        const double ms = msPerCall(7, 3, [&chart] { chart.replot(QCustomPlot::rpImmediateRefresh); });
        qInfo("replot, %5d bars in view: %.2f ms", bars, ms);
        ratio(qPrintable(QStringLiteral("replot_%1_bars_to_60hz_frame").arg(bars)), ms / FrameMs);
    }

    // --- quote ---
    for (const bool panes : {false, true}) {
        const char *shown = panes ? "_all_panes" : "";
        double sameBase = 0, newBase = 0;
        for (int bars : {1000, 10000, 100000}) {
            SymbolChartWidget chart(nullptr, QStringLiteral("EURUSD"), 60);
            chart.resize(1200, 700);
            for (QAction *entry : chart.findChildren<QAction *>()) {
                if (panes && QStringList{"Adx", "Bollinger", "Commodity Channel Index", "MACD", "Momentum",
                                         "Moving Average"}.contains(entry->text())) {
                    entry->toggle();
                    chart.applyMenuChoice(entry);
                }
            }
            chart.setCandleStickData(hourBars(bars));
            const qint64 last = Start + (bars - 1) * 3600LL;
            int step = 0;
            const double same = msPerCall(7, 2000, [&] {
                ++step;
                chart.onTick(liveQuote(QStringLiteral("EURUSD"), last + 1 + step % 3000, 1.1 + 0.00001 * (step % 50)));
            });
            qint64 hour = last;
            const double opened = msPerCall(7, 200, [&] {
                hour += 3600;
                ++step;
                chart.onTick(liveQuote(QStringLiteral("EURUSD"), hour, 1.1 + 0.00001 * (step % 50)));
            });
            qInfo("quote with %6d bars%s: inside the bar %.4f ms, opening a bar %.4f ms", bars, shown, same, opened);
            if (bars == 1000) {
                sameBase = same;
                newBase = opened;
            } else {
                ratio(qPrintable(QStringLiteral("quote_in_bar_%1k_to_1k_bars%2").arg(bars / 1000).arg(shown)),
                      same / sameBase);
                ratio(qPrintable(QStringLiteral("quote_new_bar_%1k_to_1k_bars%2").arg(bars / 1000).arg(shown)),
                      opened / newBase);
            }
        }
    }

    // --- onPrice ---
    double priceBase = 0;
    for (int charts : {0, 1, 20, 100}) {
        TradeClient client;
        Client_Terminal window(&client);
        for (int i = 0; i < charts; ++i)
            window.createNewChart(i == 0 ? QStringLiteral("EURUSD") : QStringLiteral("SYM%1").arg(i), 60)
                ->setCandleStickData(hourBars(1000));
        int step = 0;
        const qint64 last = Start + 999 * 3600LL;
        const double ms = msPerCall(7, 2000, [&] {
            ++step;
            window.onPrice(liveQuote(QStringLiteral("EURUSD"), last + 1 + step % 3000, 1.1 + 0.00001 * (step % 50)));
        });
        qInfo("onPrice with %3d charts: %.4f ms", charts, ms);
        if (charts == 0)
            priceBase = ms;
        else
            ratio(qPrintable(QStringLiteral("onPrice_%1_charts_to_no_chart").arg(charts)), ms / priceBase);
    }

    // --- idle ---
    const double idleNone = idleCpu(0, false);
    const double idleEight = idleCpu(8, false);
    const double idleAlways = idleCpu(8, true);
    qInfo("idle CPU over 3 s: no charts %.3f s, 8 charts %.3f s, 8 charts redrawn every tick %.3f s", idleNone,
          idleEight, idleAlways);
    ratio("idle_8_charts_to_no_charts", idleEight / idleNone);
    ratio("idle_8_charts_redrawn_every_tick_to_no_charts", idleAlways / idleNone);

    // --- restore ---
    double emptyRebuilds = 0, fullRebuilds = 0;
    const double empty = restoreMs(0, &emptyRebuilds);
    const double full = restoreMs(100000, &fullRebuilds);
    qInfo("restore of 10 charts: nothing cached %.1f ms, 100k bars each %.1f ms", empty, full);
    qInfo("full rebuilds per restored chart, cache and reply: nothing cached %.1f, 100k bars cached %.1f",
          emptyRebuilds, fullRebuilds);
    ratio("restore_10_charts_100k_bars_to_nothing_cached", full / empty);
    ratio("restore_10_charts_100k_bars_to_60hz_frame", full / FrameMs);
    ratio("restore_full_rebuilds_per_chart_100k_bars", fullRebuilds);

    QDir::setCurrent(QDir::tempPath());
    return 0;
}
