// Chart windows: the plot as built, the bars from the keeper and from live ticks, the context
// menu, the one-click panel, and the main window's chart commands, against the simulated
// broker where an order has to reach it.
#include "chartmanager.h"
#include "chartparts.h"
#include "client_terminal.h"
#include "livequote.h"
#include "mydatetimeticker.h"
#include "oneclicktradingbuttons.h"
#include "simtradeserver.h"
#include "symbolchartwidget.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QAction>
#include <QActionGroup>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>

namespace {

constexpr qint64 H1Bar = 1700002800; // a whole hour
constexpr qint64 Account = 7000000321LL;

// Bars one hour apart ending at H1Bar; even bars rise, odd bars fall.
QList<CandleStick> hourBars(int count)
{
    QList<CandleStick> bars;
    for (int i = 0; i < count; ++i) {
        const double base = 1.1 + 0.001 * (i % 7);
        const bool rising = i % 2 == 0;
        bars.append({H1Bar - (count - 1 - i) * 3600LL, rising ? base : base + 0.004, base + 0.005, base - 0.001,
                     rising ? base + 0.004 : base});
    }
    return bars;
}

QJsonObject historyReply(const QString &symbol, int interval, const QList<CandleStick> &bars)
{
    QJsonArray array;
    for (const CandleStick &bar : bars)
        array.append(QJsonObject{{"datetime", bar.timestamp}, {"open", bar.open}, {"high", bar.high},
                                 {"low", bar.low}, {"close", bar.close}});
    return {{"symbol", symbol}, {"interval", interval}, {"array", array}};
}

QString ohlc(double o, double h, double l, double c)
{
    return QStringLiteral("%1/%2/%3/%4").arg(o).arg(h).arg(l).arg(c);
}

} // namespace

class TestCharts : public QObject
{
    Q_OBJECT

    std::unique_ptr<simbroker::SimTradeServer> server;
    std::unique_ptr<TradeClient> client;
    std::unique_ptr<Client_Terminal> window;

    // --- Reaching into a chart ---
    static QString timeframeChecked(const SymbolChartWidget &chart)
    {
        for (QAction *entry : ChartParts::timeframeEntries(chart))
            if (entry->isChecked())
                return entry->text();
        return QStringLiteral("none");
    }
    static QAction *menuEntry(const SymbolChartWidget &chart, const QString &text)
    {
        return ChartParts::menuEntry(chart, text);
    }
    static void choose(SymbolChartWidget &chart, const QString &text)
    {
        QVERIFY2(ChartParts::choose(chart, text), qPrintable(text));
    }
    static QString paneRows(const SymbolChartWidget &chart)
    {
        const QStringList names{"adx", "cci", "macd", "momentum", "ma"};
        QStringList rows;
        for (int row = 0; row < chart.plotLayout()->rowCount(); ++row) {
            QCPLayoutElement *element = chart.plotLayout()->element(row, 0);
            if (element == chart.axisRect(0))
                rows << "price";
            for (int p = 0; p < SymbolChartWidget::PaneCount; ++p)
                if (element == chart.pane(SymbolChartWidget::Pane(p)))
                    rows << names[p];
        }
        return rows.join(' ');
    }
    static QString plottedBar(SymbolChartWidget &chart, int fromEnd = 1)
    {
        const auto bars = ChartParts::candles(chart)->data();
        const QCPFinancialData &bar = *(bars->constEnd() - fromEnd);
        return ohlc(bar.open, bar.high, bar.low, bar.close);
    }
    static QString keeperTail(ChartManager &keeper, const QString &symbol, int period, int count)
    {
        QStringList texts;
        const QList<CandleStick> bars = keeper.getChartHistory(symbol, period);
        for (const CandleStick &bar : bars.mid(qMax(0, bars.size() - count)))
            texts << QString::number(bar.timestamp - H1Bar) + ":" + ohlc(bar.open, bar.high, bar.low, bar.close);
        return texts.join(' ');
    }

    void startSession()
    {
        Client_Terminal::setBrokerListHost(QStringLiteral("127.0.0.1"));
        server = std::make_unique<simbroker::SimTradeServer>();
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        server->addAccount(Account, "secret", 1000.0);
        client = std::make_unique<TradeClient>();
        window = std::make_unique<Client_Terminal>(client.get());
        window->resize(1200, 800);
        window->show();
        client->connectToServer(server->url().toString(), Account, "secret", "Sim");
    }
    void offlineWindow()
    {
        client = std::make_unique<TradeClient>();
        window = std::make_unique<Client_Terminal>(client.get());
        window->resize(1200, 800);
        window->show();
    }
    QMdiArea *chartArea() const { return window->findChild<QMdiArea *>(QStringLiteral("graphArea")); }
    QStringList chartNames() const
    {
        QStringList names;
        for (const SymbolChartWidget *chart : window->chartWindows())
            names << chart->windowTitle();
        return names;
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }
    void cleanup()
    {
        window.reset();
        client.reset();
        server.reset();
    }

    void construction_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("checked");
        QTest::newRow("H1") << 60 << "H1" << "H1";
        QTest::newRow("unknown period") << 2 << "MN" << "none";
        QTest::newRow("30 days") << 43200 << "MN" << "MN";
    }
    void construction()
    {
        QFETCH(int, period);
        QFETCH(QString, name);
        SymbolChartWidget chart(nullptr, "EURUSD", period);
        QCOMPARE(chart.windowTitle(), "EURUSD, " + name);
        QCOMPARE(ChartParts::title(chart)->text(), "Chart: EURUSD Time Frame: " + name);
        QTEST(timeframeChecked(chart), "checked");
        QCOMPARE(chart.period(), period);
        QCOMPARE(paneRows(chart), QStringLiteral("price"));
        QVERIFY(!chart.isOneClickTradingVisible() && ChartParts::panel(chart)->isHidden());
        QVERIFY(!chart.axisRect(0)->graphs().value(0)->visible());
        QCOMPARE(ChartParts::candles(chart)->chartStyle(), QCPFinancial::csCandlestick);
        const QImage icon = chart.windowIcon().pixmap(1, 1).toImage();
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
    }

    // Panes come and go as rows below the price pane; none is ever deleted.
    void indicatorPanes()
    {
        QPointer<QCPAxisRect> panes[SymbolChartWidget::PaneCount];
        {
            SymbolChartWidget chart(nullptr, "EURUSD", 60);
            for (int p = 0; p < SymbolChartWidget::PaneCount; ++p)
                panes[p] = chart.pane(SymbolChartWidget::Pane(p));
            const QList<QPair<QString, QString>> steps{{"MACD", "price macd"},
                                                       {"Adx", "price macd adx"},
                                                       {"MACD", "price adx"},
                                                       {"MACD", "price adx macd"},
                                                       {"Bollinger", "price adx macd"}};
            for (const auto &step : steps) {
                choose(chart, step.first);
                QCOMPARE(paneRows(chart), step.second);
                QCOMPARE(menuEntry(chart, step.first)->isChecked(),
                         step.first == "Adx" || step.second.endsWith(step.first.toLower()) || step.first == "Bollinger");
            }
            QVERIFY(chart.axisRect(0)->graphs().value(0)->visible());
            QCOMPARE(chart.axisRect(0)->minimumSize().height(), chart.height() / 2);
            for (const auto &pane : panes)
                QVERIFY(pane);
            choose(chart, "Adx"); // out of the layout again when the chart goes
        }
        for (const auto &pane : panes)
            QVERIFY(!pane);
    }

    void timeframeChange_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("seen"); // period() inside each timeframeChanged
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("title");
        QTest::newRow("M5 on H1") << "M5" << "60>5" << 5 << "EURUSD, M5";
        QTest::newRow("the same timeframe") << "H1" << "" << 60 << "EURUSD, H1";
        QTest::newRow("no timeframe") << "X1" << "" << 60 << "EURUSD, X1";
    }
    void timeframeChange()
    {
        QFETCH(QString, entry);
        SymbolChartWidget chart(nullptr, "EURUSD", 60);
        QStringList seen;
        connect(&chart, &SymbolChartWidget::timeframeChanged, this,
                [&](const QString &, int period) { seen << QString::number(chart.period()) + ">" + QString::number(period); });
        QAction action(entry);
        chart.onTimeframeChanged(&action);
        QTEST(seen.join(' '), "seen");
        QTEST(chart.period(), "period");
        QTEST(chart.windowTitle(), "title");
        QCOMPARE(ChartParts::title(chart)->text(), "Chart: EURUSD Time Frame: " + entry);
    }

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
        SymbolChartWidget chart(nullptr, "EURUSD", 60);
        chart.setCandleStickData(hourBars(bars));
        QTEST(chart.xAxis->range().lower, "lower");
        QTEST(chart.xAxis->range().upper, "upper");
        QCOMPARE(chart.pane(SymbolChartWidget::MacdPane)->axis(QCPAxis::atBottom)->range(), chart.xAxis->range());
        auto *ticker = dynamic_cast<MyDateTimeTicker *>(chart.xAxis->ticker().data());
        QVERIFY(ticker);
        QCOMPARE(ticker->barTimes().size(), bars);
    }

    // Live ticks against three loaded H1 bars ending at H1Bar; times are seconds after H1Bar.
    void liveBars_data()
    {
        QTest::addColumn<QString>("ticks");    // offset:bid ...
        QTest::addColumn<int>("plotted");       // bars drawn
        QTest::addColumn<QString>("lastBar");   // the last drawn bar
        QTest::addColumn<QString>("seriesBar"); // the last bar the indicators read
        QTest::addColumn<QString>("keeper");    // the keeper's last two bars
        const QString loaded = "-3600:1.105/1.106/1.1/1.101 0:1.102/1.107/1.101/1.106";
        QTest::newRow("inside the bar moves only the plotted bar")
            << "100:1.2 200:1.0" << 3 << "1.102/1.2/1/1" << "1.102/1.107/1.101/1.106" << loaded;
        QTest::newRow("the next hour opens a bar and hands over the finished one")
            << "100:1.2 3617:1.3" << 4 << "1.3/1.3/1.3/1.3" << "1.3/1.3/1.3/1.3"
            << "-3600:1.105/1.106/1.1/1.101 0:1.102/1.2/1.101/1.2";
        // The bar opened at 3617 belongs to the hour from 3600 and is handed over timed so, once.
        QTest::newRow("a live bar is timed at its period start")
            << "3617:1.3 3700:1.31 7205:1.28" << 5 << "1.28/1.28/1.28/1.28" << "1.28/1.28/1.28/1.28"
            << "0:1.102/1.107/1.101/1.106 3600:1.3/1.31/1.3/1.31";
        QTest::newRow("a late tick changes no bar") << "-10:0.5" << 3 << "1.102/1.107/1.101/1.106"
                                                    << "1.102/1.107/1.101/1.106" << loaded;
    }
    void liveBars()
    {
        QFETCH(QString, ticks);
        ChartManager keeper(nullptr);
        keeper.updateChartHistoryFromServer(historyReply("EURUSD", 60, hourBars(3)));
        SymbolChartWidget chart(&keeper, "EURUSD", 60);
        QCOMPARE(ChartParts::candles(chart)->dataCount(), 3);
        for (const QString &tick : ticks.split(' ')) {
            const QStringList parts = tick.split(':');
            chart.onTick(liveQuote("EURUSD", H1Bar + parts[0].toLongLong(), parts[1].toDouble()));
        }
        QTEST(ChartParts::candles(chart)->dataCount(), "plotted");
        QTEST(plottedBar(chart), "lastBar");
        const CandleStick read = chart.lastIndicatorBar();
        QTEST(ohlc(read.open, read.high, read.low, read.close),
              "seriesBar");
        QTEST(keeperTail(keeper, "EURUSD", 60, 2), "keeper");
        // The ticker knows each bar's start; the view shows the last bars.
        auto *ticker = dynamic_cast<MyDateTimeTicker *>(chart.xAxis->ticker().data());
        QCOMPARE(ticker->barTimes().size(), ChartParts::candles(chart)->dataCount());
        QCOMPARE(qint64(ticker->barTimes().last()) % 3600, qint64(0));
        QCOMPARE(chart.xAxis->range(), QCPRange(0, 50));
    }

    // After a change to a timeframe with nothing cached, the old bars stay on show but build
    // nothing until the new series arrives.
    void newTimeframeWaitsForItsBars()
    {
        ChartManager keeper(nullptr);
        keeper.updateChartHistoryFromServer(historyReply("EURUSD", 60, hourBars(3)));
        SymbolChartWidget chart(&keeper, "EURUSD", 60);
        QAction m5("M5");
        chart.onTimeframeChanged(&m5);
        chart.onTick(liveQuote("EURUSD", H1Bar + 3600, 1.3));
        chart.onTick(liveQuote("EURUSD", H1Bar + 3900, 1.31));
        QCOMPARE(ChartParts::candles(chart)->dataCount(), 3);
        QVERIFY(keeper.getChartHistory("EURUSD", 5).isEmpty());
        QCOMPARE(keeperTail(keeper, "EURUSD", 60, 1), QStringLiteral("0:1.102/1.107/1.101/1.106"));

        QList<CandleStick> m5Bars{{H1Bar + 3600, 1.3, 1.3, 1.3, 1.3}};
        keeper.updateChartHistoryFromServer(historyReply("EURUSD", 5, m5Bars));
        QTRY_COMPARE(ChartParts::candles(chart)->dataCount(), 1);
        chart.onTick(liveQuote("EURUSD", H1Bar + 3900, 1.31));
        QCOMPARE(keeperTail(keeper, "EURUSD", 5, 1), QStringLiteral("3600:1.3/1.3/1.3/1.3"));
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
        QTimer::singleShot(0, &chart, [] {
            if (QWidget *menu = QApplication::activePopupWidget())
                menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(200, 150), chart.mapToGlobal(QPoint(200, 150)));
        QApplication::sendEvent(&chart, &event);
        QVERIFY(ChartParts::redrawTimer(chart)->isActive());
        QCOMPARE(chart.drawMode, 0);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(chart.itemCount(), items);
    }

    // A grab after a load: green outlines, red falling bodies, hollow rising ones, black ground.
    void drawnBars()
    {
        SymbolChartWidget chart(nullptr, "EURUSD", 60);
        chart.resize(600, 400);
        QList<CandleStick> bars;
        for (int i = 0; i < 6; ++i) // wide bodies: even bars rise, odd bars fall
            bars.append({H1Bar + i * 3600LL, i % 2 ? 1.2 : 1.1, 1.25, 1.05, i % 2 ? 1.1 : 1.2});
        chart.setCandleStickData(bars);
        chart.xAxis->setRange(-0.5, 5.5);
        chart.replot();
        const QImage image = chart.grab().toImage();
        const auto at = [&](double key, double price) {
            return image.pixelColor(qRound(chart.xAxis->coordToPixel(key)), qRound(chart.yAxis2->coordToPixel(price)));
        };
        // Off the grid lines, which stand at whole bars and round prices.
        QCOMPARE(at(1.2, 1.137), QColor(Qt::red));
        QCOMPARE(at(2.2, 1.137), QColor(Qt::black));
        QCOMPARE(at(2.6, 1.137), QColor(Qt::black));
        int green = 0;
        const int y = qRound(chart.yAxis2->coordToPixel(1.137));
        for (int x = qRound(chart.xAxis->coordToPixel(0.5)); x < qRound(chart.xAxis->coordToPixel(2.5)); ++x)
        {
            const QColor c = image.pixelColor(x, y); // edges are antialiased
            green += c.green() > 100 && c.red() < 60 && c.blue() < 60;
        }
        QVERIFY2(green >= 4, qPrintable(QString::number(green))); // both edges of two bars
    }

    void panelBlinks()
    {
        OneClickTradingButtons panel("EURUSD");
        auto *back = panel.findChild<QLabel *>("buyBackLabel");
        const QString on = "background-color: rgb(0,74,173);\nborder-color: rgb(0,74,173);\nborder-radius: 5px;\n"
                           "border-style: solid;\nborder-width: 2px;\n";
        const QString off = "background-color: rgb(255,255,255);\nborder-color: rgb(0,74,173);\nborder-radius: 5px;\n"
                            "border-style: solid;\nborder-width: 2px;\n";
        // Hidden: a bid starts nothing; an ask starts the highlight all the same.
        panel.setSellPrice(123, 0);
        QVERIFY(!panel.isHighlighted());
        panel.setBuyPrice(1.23456, 5);
        QCOMPARE(panel.findChild<QLabel *>("buyPriceLabel1")->text() + "|" + panel.findChild<QLabel *>("buyPriceLabel2")->text(),
                 QStringLiteral("1.2345|6"));
        QCOMPARE(panel.findChild<QLabel *>("sellPriceLabel1")->text() + "|" + panel.findChild<QLabel *>("sellPriceLabel2")->text(),
                 QStringLiteral("12|3"));
        QVERIFY(panel.isHighlighted());
        QCOMPARE(back->styleSheet(), on);
        QTRY_VERIFY(!panel.isHighlighted()); // the first timer tick ends it: the panel is hidden
        QCOMPARE(back->styleSheet(), off);
        panel.show();
        panel.setSellPrice(1.2, 5);
        QVERIFY(panel.isHighlighted());
        QTRY_VERIFY_WITH_TIMEOUT(!panel.isHighlighted(), 3000);
        QCOMPARE(back->styleSheet(), off);
    }

    void panelVolume_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("shownStep");
        QTest::addColumn<int>("decimals");
        QTest::newRow("0.1") << 0.1 << 0.1 << 1;
        QTest::newRow("0.01") << 0.01 << 0.01 << 2;
        // A step of 0 would leave a box of whole lots only.
        QTest::newRow("0") << 0.0 << 1.0 << 2;
        QTest::newRow("negative") << -0.01 << 1.0 << 2;
    }
    void panelVolume()
    {
        QFETCH(double, step);
        OneClickTradingButtons panel("EURUSD");
        auto *box = panel.findChild<QDoubleSpinBox *>("volumeSpinBox");
        panel.setVolumeStep(step);
        QTEST(box->singleStep(), "shownStep");
        QTEST(box->decimals(), "decimals");
        panel.setMinimumVolume(0.1);
        panel.setMaximumVolume(50);
        QCOMPARE(box->value(), 0.1);
        QSignalSpy sells(&panel, &OneClickTradingButtons::sellButtonClicked);
        panel.findChild<QPushButton *>("sellButton")->click();
        QCOMPARE(sells.count(), 1);
        QCOMPARE(sells.first(), QVariantList({"EURUSD", 0.1}));
        QCOMPARE(panel.size(), QSize(180, 55));
    }

    // --- The main window's side ---

    // One click on a chart's panel is one market order at the broker.
    void oneClickOrderReachesTheBroker()
    {
        startSession();
        QTRY_VERIFY(!window->chartWindows().isEmpty()); // the default charts come with the symbols
        SymbolChartWidget *chart = window->chartWindows().first();
        chart->setOneClickTradingVisible(true);
        auto *box = chart->findChild<QDoubleSpinBox *>("volumeSpinBox");
        QTRY_COMPARE(box->value(), 0.01); // the symbol's minimal volume, from its quote
        QSignalSpy sells(chart, &SymbolChartWidget::sell);
        QTest::mouseClick(chart->findChild<QPushButton *>("sellButton"), Qt::LeftButton);
        QCOMPARE(sells.count(), 1);
        const QString order = R"({"login":%1,"order_type":1,"req_code":4,"symbol":"%2","type":0,"volume":100})";
        QTRY_COMPARE(server->receivedRequests(4).size(), 2); // the login's account refresh, then the order
        QStringList texts;
        for (const auto &frame : server->receivedFrames())
            if (frame.object.value("type").toInt() == 0 && frame.object.value("req_code").toInt() == 4)
                texts << frame.text;
        QCOMPARE(texts, QStringList(order.arg(Account).arg(chart->symbol())));
    }

    void defaultCharts_data()
    {
        QTest::addColumn<int>("symbols");
        QTest::addColumn<int>("opened");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("two") << 2 << 2;
        QTest::newRow("ten") << 10 << 4;
    }
    void defaultCharts()
    {
        QFETCH(int, symbols);
        offlineWindow();
        QStringList list;
        for (int i = 0; i < symbols; ++i)
            list << QStringLiteral("SYM%1").arg(i);
        window->symbolStorage()->setSymbols(list, false);
        window->openDefaultCharts();
        QStringList expected;
        for (const QString &symbol : list.mid(0, 4))
            expected << symbol + ", H1";
        QCOMPARE(chartNames(), expected);
        QTEST(chartArea()->subWindowList().size(), "opened");
    }

    void chartCommands()
    {
        offlineWindow();
        SymbolChartWidget *eurusd = window->createNewChart("EURUSD", 5);
        SymbolChartWidget *gbpusd = window->createNewChart("GBPUSD");
        QCOMPARE(chartNames(), QStringList({"EURUSD, M5", "GBPUSD, H1"}));
        auto *actionM5 = window->findChild<QAction *>("actionM5");
        auto *actionH1 = window->findChild<QAction *>("actionH1");

        // Bringing forward a symbol open at another period opens nothing.
        window->showChartGraph("EURUSD");
        QCOMPARE(chartArea()->activeSubWindow()->widget(), eurusd);
        QVERIFY(actionM5->isChecked());
        QCOMPARE(chartArea()->subWindowList().size(), 2);
        window->showChartGraph("USDJPY");
        QCOMPARE(chartNames().last(), QStringLiteral("USDJPY, H1"));

        // Style and timeframe go to the active chart only.
        chartArea()->setActiveSubWindow(chartArea()->subWindowList().at(1));
        QVERIFY(actionH1->isChecked());
        window->findChild<QAction *>("actionBar_Chart")->trigger();
        QCOMPARE(ChartParts::candles(*gbpusd)->chartStyle(), QCPFinancial::csOhlc);
        QCOMPARE(ChartParts::candles(*eurusd)->chartStyle(), QCPFinancial::csCandlestick);
        window->findChild<QAction *>("actionD1")->trigger();
        QCOMPARE(gbpusd->period(), 1440);
        QCOMPARE(eurusd->period(), 5);

        // A drawing tool reaches every chart; the end of a gesture in one returns all to the cursor.
        window->findChild<QAction *>("actionCrosshair")->trigger();
        for (const SymbolChartWidget *chart : window->chartWindows())
            QCOMPARE(chart->drawMode, 3);
        QTest::mouseClick(eurusd, Qt::LeftButton, {}, QPoint(50, 50));
        for (const SymbolChartWidget *chart : window->chartWindows())
            QCOMPARE(chart->drawMode, 0);
        QVERIFY(window->findChild<QAction *>("actionCursor")->isChecked());

        // Hidden and shown again, each chart keeps its place.
        window->on_actionTile_Windows_triggered();
        QList<QRect> places;
        for (QMdiSubWindow *sub : chartArea()->subWindowList())
            places << sub->geometry();
        window->viewCopyTradingAction();
        for (QMdiSubWindow *sub : chartArea()->subWindowList())
            QVERIFY(!sub->isVisible());
        window->viewChartAction();
        for (int i = 0; i < places.size(); ++i) {
            QVERIFY(chartArea()->subWindowList().at(i)->isVisible());
            QCOMPARE(chartArea()->subWindowList().at(i)->geometry(), places.at(i));
        }
    }

    // Every chart of a symbol takes its quotes, whatever its timeframe.
    void quotesReachEveryChartOfTheSymbol()
    {
        offlineWindow();
        SymbolChartWidget *h1 = window->createNewChart("EURUSD", 60);
        SymbolChartWidget *d1 = window->createNewChart("EURUSD", 1440);
        SymbolChartWidget *other = window->createNewChart("GBPUSD", 60);
        QList<CandleStick> day{{H1Bar - H1Bar % 86400, 1.1, 1.2, 1.0, 1.15}};
        h1->setCandleStickData(hourBars(3));
        d1->setCandleStickData(day);
        other->setCandleStickData(hourBars(3));
        window->onPrice(liveQuote("EURUSD", H1Bar + 60, 1.15678));
        QCOMPARE(ChartParts::candles(*h1)->data()->at(2)->close, 1.15678);
        QCOMPARE(ChartParts::candles(*d1)->data()->at(0)->close, 1.15678);
        QCOMPARE(ChartParts::candles(*other)->data()->at(2)->close, hourBars(3).last().close);
        QCOMPARE(ChartParts::panel(*d1)->findChild<QLabel *>("sellPriceLabel1")->text(), QStringLiteral("1.1567"));
    }
};

CORVANE_TEST_GUI_MAIN(TestCharts)
#include "tst_charts.moc"
