// Chart windows: the plot as built, the bars from the keeper and from live ticks, the context
// menu, the one-click panel, and the main window's chart commands, against the simulated
// broker where a request has to reach it.
#include "chartcache.h"
#include "chartparts.h"
#include "chartwithbars.h"
#include "livequote.h"
#include "loggedinwindow.h"
#include "loopback.h"
#include "mydatetimeticker.h"
#include "testmain.h"

#include <QDoubleSpinBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

using namespace corvane_test;

namespace {

QString ohlc(double o, double h, double l, double c)
{
    return QStringLiteral("%1/%2/%3/%4").arg(o).arg(h).arg(l).arg(c);
}

// Ticks "offset:bid ..." in seconds after H1Bar; `after` runs after each.
void feedTicks(SymbolChartWidget &chart, const QString &ticks, const std::function<void()> &after = {})
{
    for (const QString &tick : ticks.split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = tick.split(':');
        chart.onTick(liveQuote(chart.symbol(), H1Bar + parts[0].toLongLong(), parts[1].toDouble()));
        if (after)
            after();
    }
}

QString checkedTimeframe(const SymbolChartWidget &chart)
{
    const QAction *checked = ChartParts::timeframeEntries(chart).first()->actionGroup()->checkedAction();
    return checked ? checked->text() : QStringLiteral("none");
}

QString plottedBar(const SymbolChartWidget &chart)
{
    const QCPFinancialData &bar = *(ChartParts::candles(chart)->data()->constEnd() - 1);
    return ohlc(bar.open, bar.high, bar.low, bar.close);
}

QString keeperTail(const ChartManager &keeper, int period, int count)
{
    QStringList texts;
    const QList<CandleStick> bars = keeper.getChartHistory("EURUSD", period);
    for (const CandleStick &bar : bars.mid(qMax(0, bars.size() - count)))
        texts << QString::number(bar.timestamp - H1Bar) + ":" + ohlc(bar.open, bar.high, bar.low, bar.close);
    return texts.join(' ');
}

// Every indicator plottable's points, key and value to the last bit, under its area and its
// place there: the Bollinger bands over the price, then each pane's lines and the MACD bars.
QMap<QString, QStringList> indicatorPoints(const SymbolChartWidget &chart)
{
    const QList<QPair<QString, QCPAxisRect *>> areas{
        {"price", chart.axisRect(0)}, {"ADX", chart.pane(SymbolChartWidget::AdxPane)},
        {"CCI", chart.pane(SymbolChartWidget::CciPane)}, {"MACD", chart.pane(SymbolChartWidget::MacdPane)},
        {"Momentum", chart.pane(SymbolChartWidget::MomentumPane)},
        {"Moving Average", chart.pane(SymbolChartWidget::MovingAveragePane)}};
    const auto point = [](double key, double value) { return QString::number(key) + "=" + QString::number(value, 'g', 17); };
    QMap<QString, QStringList> points;
    for (const auto &[area, rect] : areas) {
        int place = 0;
        for (QCPAbstractPlottable *plottable : rect->plottables()) {
            if (qobject_cast<QCPFinancial *>(plottable))
                continue;
            QStringList &list = points[area + " " + QString::number(place++)];
            if (auto *graph = qobject_cast<QCPGraph *>(plottable))
                for (const QCPGraphData &p : *graph->data())
                    list << point(p.key, p.value);
            else if (auto *bars = qobject_cast<QCPBars *>(plottable))
                for (const QCPBarsData &p : *bars->data())
                    list << point(p.key, p.value);
        }
    }
    return points;
}

} // namespace

class TestCharts : public QObject
{
    Q_OBJECT


private slots:
    void initTestCase()
    {
        Client_Terminal::setBrokerListHost(corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet));
    }
    void cleanup() { QDir(QStringLiteral("config")).removeRecursively(); }

    // A new chart's titles and checked timeframe, and what choosing a timeframe entry changes.
    void titlesAndTimeframes_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("title"); // after the choice
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QString>("seen"); // period() inside each timeframeChanged
        QTest::newRow("H1") << 60 << "" << "H1" << "H1" << "";
        QTest::newRow("unknown period") << 2 << "" << "MN" << "none" << "";
        QTest::newRow("30 days") << 43200 << "" << "MN" << "MN" << "";
        QTest::newRow("M5 on H1") << 60 << "M5" << "M5" << "M5" << "60>5";
        QTest::newRow("the same timeframe") << 60 << "H1" << "H1" << "H1" << "";
        QTest::newRow("no timeframe") << 60 << "X1" << "X1" << "H1" << "";
    }
    void titlesAndTimeframes()
    {
        QFETCH(int, period);
        QFETCH(QString, entry);
        SymbolChartWidget chart(nullptr, "EURUSD", period);
        QStringList seen;
        connect(&chart, &SymbolChartWidget::timeframeChanged, this,
                [&](const QString &, int to) { seen << QString::number(chart.period()) + ">" + QString::number(to); });
        QAction action(entry);
        if (!entry.isEmpty())
            chart.onTimeframeChanged(&action);
        QFETCH(QString, title);
        QCOMPARE(chart.windowTitle() + "|" + ChartParts::title(chart)->text(), "EURUSD, " + title + "|Chart: EURUSD Time Frame: " + title);
        QTEST(checkedTimeframe(chart), "checked");
        QTEST(seen.join(' '), "seen");
    }

    // The view after a load; a spike of the Momentum pane at the bar just left of it sets no range.
    void loadView_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::newRow("30 bars") << 30 << 0.0 << 50.0;
        QTest::newRow("500 bars") << 500 << 450.0 << 500.0;
    }
    void loadView()
    {
        QFETCH(int, bars);
        QFETCH(double, lower);
        SymbolChartWidget chart(nullptr, "EURUSD", 60);
        QVERIFY(ChartParts::choose(chart, "Momentum"));
        QList<CandleStick> data = hourBars(bars);
        if (lower > 0)
            data[int(lower) - 1].close *= 100;
        chart.setCandleStickData(data);
        QTEST(chart.xAxis->range().lower, "lower");
        QTEST(chart.xAxis->range().upper, "upper");
        QCOMPARE(chart.pane(SymbolChartWidget::MacdPane)->axis(QCPAxis::atBottom)->range(), chart.xAxis->range());
        QVERIFY(chart.pane(SymbolChartWidget::MomentumPane)->axis(QCPAxis::atRight)->range().upper < 1000);
        QCOMPARE(dynamic_cast<MyDateTimeTicker *>(chart.xAxis->ticker().data())->barTimes().size(), bars);
    }

    // Live ticks against three loaded H1 bars ending at H1Bar, shown by one or two charts; a
    // line drawn on the last loaded bar stays on that bar through every rebuild.
    void liveBars_data()
    {
        QTest::addColumn<int>("charts");
        QTest::addColumn<QString>("ticks");
        QTest::addColumn<QString>("bars");      // bars drawn, the last drawn, the last the indicators read
        QTest::addColumn<QString>("keeper");    // the keeper's last two bars
        QTest::addColumn<int>("records");       // in the cache file
        QTest::addColumn<int>("limit");         // the keeper's series limit; 0: its own
        QTest::addColumn<QJsonObject>("reply"); // the history reply at each "|"; none: an empty one
        QTest::addColumn<int>("rebuilds");      // full rebuilds of the first chart's bars after its load
        const QString loaded = "-3600:1.105/1.106/1.1/1.101 0:1.102/1.107/1.101/1.106";
        QTest::newRow("inside the bar moves only the plotted bar")
            << 1 << "100:1.2 200:1.0" << "3 1.102/1.2/1/1 1.102/1.107/1.101/1.106" << loaded << 2 << 0 << QJsonObject() << 0;
        QTest::newRow("the next hour opens a bar and hands over the finished one")
            << 1 << "100:1.2 3617:1.3" << "4 1.3/1.3/1.3/1.3 1.3/1.3/1.3/1.3" << "-3600:1.105/1.106/1.1/1.101 0:1.102/1.2/1.101/1.2" << 3 << 0 << QJsonObject() << 0;
        QTest::newRow("a live bar is timed at its period start")
            << 1 << "3617:1.3 3700:1.31 7205:1.28" << "5 1.28/1.28/1.28/1.28 1.28/1.28/1.28/1.28" << "0:1.102/1.107/1.101/1.106 3600:1.3/1.31/1.3/1.31" << 4 << 0 << QJsonObject() << 0;
        QTest::newRow("a late tick changes no bar")
            << 1 << "-10:0.5" << "3 1.102/1.107/1.101/1.106 1.102/1.107/1.101/1.106" << loaded << 2 << 0 << QJsonObject() << 0;
        QTest::newRow("two charts of the series hand each bar once")
            << 2 << "3617:1.3 7205:1.28 10805:1.29" << "6 1.29/1.29/1.29/1.29 1.29/1.29/1.29/1.29" << "3600:1.3/1.3/1.3/1.3 7200:1.28/1.28/1.28/1.28" << 5 << 0 << QJsonObject() << 0;
        // "|": a history reply of the series. An empty one takes no bar from the charts.
        QTest::newRow("an empty reply keeps the forming bar")
            << 1 << "3617:1.2 3700:1.25 3800:1.15|" << "4 1.2/1.25/1.15/1.15 1.2/1.2/1.2/1.2" << loaded << 3 << 0 << QJsonObject() << 0;
        QTest::newRow("after an empty reply the whole period is stored")
            << 1 << "3617:1.2 3700:1.25 3800:1.15|3900:1.18 7205:1.3" << "5 1.3/1.3/1.3/1.3 1.3/1.3/1.3/1.3" << "0:1.102/1.107/1.101/1.106 3600:1.2/1.25/1.15/1.18" << 4 << 0 << QJsonObject() << 0;
        QTest::newRow("at the keeper's limit the chart keeps its newest bars")
            << 1 << "3617:1.3 7205:1.28 10805:1.29" << "4 1.29/1.29/1.29/1.29 1.29/1.29/1.29/1.29" << "3600:1.3/1.3/1.3/1.3 7200:1.28/1.28/1.28/1.28" << 5 << 4 << QJsonObject() << 2;
        QTest::newRow("replies after the chart's start-over merge at the end")
            << 1 << "3617:1.3 7205:1.28||7300:1.29" << "4 1.29/1.29/1.29/1.29 1.29/1.29/1.29/1.29" << "0:1.102/1.107/1.101/1.106 3600:1.31/1.31/1.31/1.31" << 4 << 4
            << historyReply("EURUSD", 60, {{H1Bar + 3600, 1.31, 1.31, 1.31, 1.31}}) << 1;
        QTest::newRow("a reply past the keeper's limit rebuilds once")
            << 1 << "|" << "4 1.28/1.28/1.28/1.28 1.28/1.28/1.28/1.28" << "3600:1.3/1.3/1.3/1.3 7200:1.28/1.28/1.28/1.28" << 3 << 4
            << historyReply("EURUSD", 60, {{H1Bar + 3600, 1.3, 1.3, 1.3, 1.3}, {H1Bar + 7200, 1.28, 1.28, 1.28, 1.28}}) << 1;
    }
    void liveBars()
    {
        QFETCH(int, charts);
        QFETCH(int, limit);
        ChartManager keeper(nullptr);
        if (limit > 0)
            keeper.setSeriesLimit(limit);
        keeper.setAccount(7, "Srv");
        auto chart = chartWithBars(keeper, hourBars(3));
        std::unique_ptr<SymbolChartWidget> twin;
        if (charts == 2)
            twin = std::make_unique<SymbolChartWidget>(&keeper, "EURUSD", 60);
        QTRY_COMPARE(ChartParts::candles(*chart)->dataCount(), 3);
        // A vertical line on the last loaded bar, as the tool draws it.
        chart->replot();
        QVERIFY(ChartParts::tools(*chart)->press(QPoint(int(chart->xAxis->coordToPixel(2)), 100), 2, 5));
        auto *line = qobject_cast<QCPItemStraightLine *>(ChartParts::tools(*chart)->drawingItem.data());
        ChartParts::tools(*chart)->release();
        // A full rebuild installs a new ticker; the old ones are held, so none can reuse an address.
        QList<QSharedPointer<QCPAxisTicker>> tickers{chart->xAxis->ticker()};
        const auto seen = [&] {
            if (chart->xAxis->ticker() != tickers.last())
                tickers << chart->xAxis->ticker();
        };
        QFETCH(QString, ticks);
        QFETCH(QJsonObject, reply);
        const QStringList stretches = ticks.split('|');
        for (int i = 0; i < stretches.size(); ++i) {
            if (i > 0) {
                keeper.updateChartHistoryFromServer(reply.isEmpty() ? historyReply("EURUSD", 60, {}) : reply);
                QCoreApplication::processEvents(); // what the keeper announced, queued
                seen();
            }
            feedTicks(*chart, stretches[i], seen);
            if (twin)
                feedTicks(*twin, stretches[i]);
        }
        const CandleStick read = chart->lastIndicatorBar();
        QTEST(QString::number(ChartParts::candles(*chart)->dataCount()) + " " + plottedBar(*chart) + " "
                  + ohlc(read.open, read.high, read.low, read.close), "bars");
        QTEST(keeperTail(keeper, 60, 2), "keeper");
        keeper.waitForWorkers();
        QTEST(int(QFileInfo(ChartCache::folderPath("Srv", 7) + "/EURUSD_60").size() / 40), "records");
        QCOMPARE(chart->xAxis->range(), QCPRange(0, 50));
        QTEST(int(tickers.size()) - 1, "rebuilds");
        // The line stays on its bar, whatever index the bar has now.
        const int key = int(line->point1->key());
        QCOMPARE(line->point2->key(), line->point1->key());
        QCOMPARE(qint64(dynamic_cast<MyDateTimeTicker *>(chart->xAxis->ticker().data())->barTimes().value(key)) - H1Bar, 0);
    }

    // After a change to a timeframe with nothing cached, the old bars stay on show, the price
    // tag and axis follow the ticks, and bars wait for the answer, whatever it brings.
    void newTimeframeWaitsForItsBars_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<int>("plotted");
        QTest::addColumn<QString>("keeper"); // the M5 series afterwards
        const QList<CandleStick> m5{{H1Bar + 3600, 1.3, 1.3, 1.3, 1.3}};
        QTest::newRow("bars") << historyReply("EURUSD", 5, m5) << 3 << "3600:1.3/1.3/1.3/1.3 3900:1.31/1.31/1.31/1.31";
        QTest::newRow("empty") << historyReply("EURUSD", 5, {}) << 5 << "3900:1.31/1.31/1.31/1.31";
        QTest::newRow("no array") << QJsonObject{{"symbol", "EURUSD"}, {"interval", 5}} << 5
                                  << "3900:1.31/1.31/1.31/1.31";
    }
    void newTimeframeWaitsForItsBars()
    {
        ChartManager keeper(nullptr);
        auto chart = chartWithBars(keeper, hourBars(3));
        QTRY_COMPARE(ChartParts::candles(*chart)->dataCount(), 3);
        QAction m5("M5");
        chart->onTimeframeChanged(&m5);
        feedTicks(*chart, "3600:1.3");
        QCOMPARE(ChartParts::candles(*chart)->dataCount(), 3);
        QCOMPARE(chart->yAxis2->range().upper, 1.30005);
        QFETCH(QJsonObject, reply);
        keeper.updateChartHistoryFromServer(reply);
        QCoreApplication::processEvents(); // the queued announcement
        feedTicks(*chart, "3900:1.31 4200:1.32");
        QTEST(ChartParts::candles(*chart)->dataCount(), "plotted");
        QTEST(keeperTail(keeper, 5, 2), "keeper");
        QCOMPARE(keeperTail(keeper, 60, 1), QStringLiteral("0:1.102/1.107/1.101/1.106"));
    }

    // New bars and a reply that changes only the end of the series extend the graphs with the
    // values of the bars as they now stand, and the bars are not rebuilt: every point of every
    // indicator plottable equals a chart's built at once from the same bars.
    void graphsGrowWithTheBars()
    {
        ChartManager keeper(nullptr);
        auto chart = chartWithBars(keeper, hourBars(60));
        for (const char *entry : {"Adx", "Bollinger", "Commodity Channel Index", "MACD", "Momentum", "Moving Average"})
            QVERIFY(ChartParts::choose(*chart, entry));
        QTRY_COMPARE(ChartParts::candles(*chart)->dataCount(), 60);
        const QSharedPointer<QCPAxisTicker> ticker = chart->xAxis->ticker();
        feedTicks(*chart, "3600:1.2 7200:1.21 7300:1.25 10800:1.19");
        keeper.updateChartHistoryFromServer(historyReply("EURUSD", 60, hourBars(2, H1Bar + 14400)));
        QTRY_COMPARE(ChartParts::candles(*chart)->dataCount(), 64);
        QCOMPARE(chart->xAxis->ticker(), ticker);
        // Worked from the 64 bars: the last finished one (62) closes at the reply's 1.104, bar 48
        // at 1.110, and the ten closes of bars 53-62 add up to 11.287.
        for (const auto &[pane, points, last] : {std::tuple{SymbolChartWidget::MomentumPane, 49, QPointF(62, 110.4 / 1.11)},
                                                 std::tuple{SymbolChartWidget::MovingAveragePane, 63, QPointF(62, 1.1287)}}) {
            const QCPGraphDataContainer &data = *chart->pane(pane)->graphs().constFirst()->data();
            QCOMPARE(data.size(), points);
            QCOMPARE(QPointF((data.constEnd() - 1)->key, (data.constEnd() - 1)->value), last);
        }
        SymbolChartWidget atOnce(nullptr, "EURUSD", 60);
        for (const char *entry : {"Adx", "Bollinger", "Commodity Channel Index", "MACD", "Momentum", "Moving Average"})
            QVERIFY(ChartParts::choose(atOnce, entry));
        atOnce.setCandleStickData(keeper.getChartHistory("EURUSD", 60));
        const QMap<QString, QStringList> grown = indicatorPoints(*chart), expected = indicatorPoints(atOnce);
        QCOMPARE(grown.keys().join(','), QStringLiteral("ADX 0,ADX 1,ADX 2,CCI 0,MACD 0,MACD 1,Momentum 0,"
                                                        "Moving Average 0,price 0,price 1,price 2"));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QStringList &got = grown[it.key()];
            int apart = 0;
            while (apart < got.size() && apart < it->size() && got[apart] == it->at(apart))
                ++apart;
            QVERIFY2(it->size() >= 49 && got == *it,
                     qPrintable(QStringLiteral("%1: %2 points grown, %3 at once; first apart: %4 | %5")
                                    .arg(it.key()).arg(got.size()).arg(it->size()).arg(got.value(apart), it->value(apart))));
        }
    }

    // Drawn only where it can be seen: a hidden chart replots at no tick, and once when shown.
    void hiddenChartReplotsOnceShown()
    {
        SymbolChartWidget chart(nullptr, "EURUSD", 60);
        chart.setCandleStickData(hourBars(30));
        chart.show();
        QSignalSpy replots(&chart, &QCustomPlot::afterReplot);
        QSignalSpy timer(ChartParts::redrawTimer(chart), &QTimer::timeout);
        const auto waitTicks = [&timer](int n) { const int until = timer.count() + n; return QTest::qWaitFor([&] { return timer.count() >= until; }); };
        QVERIFY(waitTicks(2) && !replots.isEmpty());
        chart.hide();
        replots.clear();
        for (int i = 0; i < 5; ++i) {
            feedTicks(chart, QStringLiteral("%1:1.1%2").arg(i).arg(i));
            QVERIFY(waitTicks(1));
        }
        QCOMPARE(replots.count(), 0);
        chart.show();
        QVERIFY(waitTicks(3));
        QCOMPARE(replots.count(), 1);
    }

    // A right press opens the menu, which takes the release: the gesture still ends.
    void contextMenuEndsTheGesture()
    {
        SymbolChartWidget chart(nullptr, "EURUSD", 60);
        chart.resize(400, 300);
        chart.show();
        chart.drawMode = 3; // a crosshair, gone at the end of its gesture
        const int items = chart.itemCount();
        QSignalSpy finished(&chart, &SymbolChartWidget::drawStateFinished);
        QTest::mousePress(&chart, Qt::RightButton, {}, QPoint(200, 150));
        QVERIFY(!ChartParts::redrawTimer(chart)->isActive());
        QTimer::singleShot(0, &chart, [] { QApplication::activePopupWidget()->close(); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(200, 150), chart.mapToGlobal(QPoint(200, 150)));
        QApplication::sendEvent(&chart, &event);
        QVERIFY(ChartParts::redrawTimer(chart)->isActive());
        QCOMPARE(chart.drawMode, 0);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(chart.itemCount(), items);
    }

    // A volume step of 0 or below would leave a box of whole lots only.
    void panelVolumeStep()
    {
        OneClickTradingButtons panel("EURUSD");
        for (double step : {0.0, -0.01}) {
            panel.setVolumeStep(step);
            QCOMPARE(panel.findChild<QDoubleSpinBox *>("volumeSpinBox")->singleStep(), 1.0);
        }
    }

    // --- The main window's side ---

    // A chart restored while the cache loads asks, once, for what is newer than its newest
    // cached bar; with nothing cached, for the last 2,000 bars. After a lost connection, the
    // login asks once for each open chart, restored or not.
    void restoredChartAsksFromItsCache_data()
    {
        QTest::addColumn<int>("cached");
        QTest::addColumn<QString>("outage"); // "<chart opened: up, frozen or down> <symbol> <period>"
        QTest::addColumn<QString>("asked");  // after the reconnection
        QTest::newRow("warm cache") << 3000 << "" << "";
        QTest::newRow("no cache") << 0 << "" << "";
        QTest::newRow("chart opened while the connection is down") << 0 << "down GBPUSD 60" << "EURUSD,60 GBPUSD,60";
        QTest::newRow("request lost with the connection") << 0 << "frozen GBPUSD 60" << "EURUSD,60 GBPUSD,60";
        QTest::newRow("cached chart opened while the connection is down") << 3000 << "down EURUSD 60" << "EURUSD,60 EURUSD,60";
        QTest::newRow("answered second chart of a symbol") << 0 << "up EURUSD 5" << "EURUSD,5 EURUSD,60";
    }
    void restoredChartAsksFromItsCache()
    {
        QFETCH(int, cached);
        const qint64 account = 7000000322LL, now = QDateTime::currentSecsSinceEpoch();
        const QString folder = ChartCache::folderPath("Sim", account);
        QDir().mkpath(folder);
        const QList<CandleStick> bars = hourBars(cached, now - now % 3600 - 7200);
        if (cached)
            ChartCache::writeCandleFile(folder + "/EURUSD_60", bars.toVector());
        QFile charts(folder + "/../charts");
        QVERIFY(charts.open(QIODevice::WriteOnly) && charts.write("EURUSD,0,0,0,800,500,60\n") > 0);
        charts.close();
        QList<qint64> from;
        QStringList asked; // "<symbol>,<interval>"
        LoggedInWindow session;
        QVERIFY(session.start(account, [&](simbroker::SimTradeServer &server) {
            connect(&server, &simbroker::SimTradeServer::frameReceived, this,
                    [&](int, const QString &, const QJsonObject &frame) {
                        const QString symbol = frame.value("symbol").toString();
                        if (frame.value("req_code").toInt() == 3 && !symbol.startsWith("MARKER")) {
                            from << frame.value("from").toVariant().toLongLong();
                            asked << symbol + "," + QString::number(frame.value("interval").toInt());
                        }
                    });
            // A request the server read before the login is not one the login made: a test
            // thread held past the reconnection delay opens its chart then.
            connect(&server, &simbroker::SimTradeServer::loginHandled, this, [&] { asked.clear(); });
        }));
        QTRY_VERIFY(ChartParts::candles(*session.window->chartWindows().value(0))->dataCount() > cached);
        QCOMPARE(from.size(), 1);
        if (cached)
            QCOMPARE(from.first(), bars.last().timestamp);
        else
            QVERIFY(qAbs(from.first() - (now - 2000 * 3600)) < 60);

        QFETCH(QString, outage);
        const QStringList lost = outage.split(' ');
        if (lost.size() < 3)
            return;
        auto *connected = session.part<QAction>("actionDisconnect");
        session.server->setFrozen(lost[0] == "frozen"); // takes the request and never answers it
        SymbolChartWidget *opened = lost[0] == "down" ? nullptr : session.window->createNewChart(lost[1], lost[2].toInt());
        QTRY_VERIFY(lost[0] != "up" || ChartParts::candles(*opened)->dataCount() > 0);
        session.server->dropConnections();
        QTRY_VERIFY(!connected->isEnabled());
        session.server->setFrozen(false);
        if (!opened) // the client opens a socket again 3 s after the loss
            opened = session.window->createNewChart(lost[1], lost[2].toInt());
        QTRY_VERIFY_WITH_TIMEOUT(connected->isEnabled(), MustHappenMs);
        QTRY_VERIFY(ChartParts::candles(*opened)->dataCount() > 0);
        session.settle();
        asked.sort();
        QTEST(asked.join(' '), "asked");
    }

    // The chart commands, and quotes to every chart of their symbol whatever its timeframe.
    void chartCommands()
    {
        TradeClient client;
        Client_Terminal window(&client);
        window.show();
        auto *area = window.findChild<QMdiArea *>(QStringLiteral("graphArea"));
        SymbolChartWidget *eurusd = window.createNewChart("EURUSD", 5);
        SymbolChartWidget *gbpusd = window.createNewChart("GBPUSD");
        SymbolChartWidget *h1 = window.createNewChart("EURUSD", 60);
        // Bringing forward a symbol open at another period opens nothing.
        window.showChartGraph("EURUSD");
        QCOMPARE(area->activeSubWindow()->widget(), eurusd);
        QVERIFY(window.findChild<QAction *>("actionM5")->isChecked());
        window.showChartGraph("USDJPY");
        QCOMPARE(window.chartWindows().size(), 4);
        QCOMPARE(window.chartWindows().last()->windowTitle(), QStringLiteral("USDJPY, H1"));
        // Style and timeframe go to the active chart only.
        area->setActiveSubWindow(area->subWindowList().at(1));
        window.findChild<QAction *>("actionBar_Chart")->trigger();
        window.findChild<QAction *>("actionD1")->trigger();
        QCOMPARE(ChartParts::candles(*gbpusd)->chartStyle() * 10 + ChartParts::candles(*eurusd)->chartStyle(), 1);
        QCOMPARE(gbpusd->period() * 10 + eurusd->period(), 14405);
        for (SymbolChartWidget *chart : {eurusd, gbpusd, h1})
            chart->setCandleStickData(hourBars(3));
        window.onPrice(liveQuote("EURUSD", H1Bar + 60, 1.15678));
        QCOMPARE(ChartParts::candles(*h1)->data()->at(2)->close, 1.15678);
        QCOMPARE(ChartParts::candles(*eurusd)->data()->at(2)->close, 1.15678);
        QCOMPARE(ChartParts::candles(*gbpusd)->data()->at(2)->close, hourBars(3).last().close);
        QCOMPARE(ChartParts::panel(*eurusd)->findChild<QLabel *>("sellPriceLabel1")->text(), QStringLiteral("1.1567"));
        // A drawing tool reaches every chart; the end of a gesture in one returns all to the cursor.
        window.findChild<QAction *>("actionCrosshair")->trigger();
        QCOMPARE(window.chartWindows().last()->drawMode, 3);
        QTest::mouseClick(eurusd, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(window.chartWindows().last()->drawMode, 0);
        QVERIFY(window.findChild<QAction *>("actionCursor")->isChecked());
        // Hidden and shown again, a chart keeps its place.
        window.on_actionTile_Windows_triggered();
        QMdiSubWindow *sub = area->subWindowList().at(2);
        const QRect place = sub->geometry();
        window.viewCopyTradingAction();
        QVERIFY(!sub->isVisible());
        window.viewChartAction();
        QVERIFY(sub->isVisible() && sub->geometry() == place);
    }
};

CORVANE_TEST_GUI_MAIN(TestCharts)
#include "tst_charts.moc"
