#pragma once

#include "chartbars.h"
#include "chartmanager.h"
#include "indicators.h"
#include "marketrecords.h"

#include <QColor>
#include <QIcon>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

class AxisTag;
class DrawingTools;
class OneClickTradingButtons;
class QAction;
class QLabel;
class QMenu;
class QTimer;

// One chart window: the bars of one symbol in one timeframe, with a title, a hidden one-click
// panel, a context menu and five indicator panes that stay out of the layout until switched on.
//
// Contract: bars are placed by index (bar i at key i on every bar axis); their times live only
// in the bar-time ticker. The bars come from the chart-history keeper, which may announce a
// series from its cache loader thread: that announcement is taken queued, so everything here
// runs in the GUI thread. Live ticks extend the forming bar; a tick in a later period closes it
// into the keeper, timed at the start of its period. While the bars of a new timeframe or the
// account's cache are awaited, ticks still move the price tag and axis but build no bar, and a
// bar of another period never reaches the keeper. A chart opened while the keeper reads the
// account's cache waits for that series' cached bars before it asks for newer ones. An
// announcement that only adds to or changes the end of the shown series replaces just that end.
// The window redraws on its 50 ms timer, only while it can be seen and something changed.
//
// The bars are the keeper's, so a window holds no more of them than the keeper's series limit
// (chartmanager.h), not even when a server's clock leaps and every tick finishes a bar: a live
// bar that would pass the limit first has the window start over from the newest three quarters
// of the keeper's series, a rebuild once every quarter of the limit in bars, not per bar. The
// keeper's older bars stay out after that: an announcement that only changes the end of the
// series still replaces just that end. Whenever the bars are rebuilt from their own series and
// start at another bar (that start-over, or the keeper dropping or adding the oldest bars), the
// drawn lines move with them and stay on the bars they marked.
//
// What a window holds that grows with what a trade server sends, with the worst a hostile server
// reaches (100,000 bars; sizes from the element types, the containers' spare room for growth
// aside). By default one window per symbol of the four default charts, with no indicator shown
// (the CCI series is computed all the same).
//
//   store                                    | bounded by                  | worst, hostile server
//   -----------------------------------------|-----------------------------|----------------------
//   plotted bars (QCPFinancial data)         | count: the keeper's limit;  | 40 bytes a bar, 4 MB
//   bar keys, opens, highs, lows, closes     | replacement: each load from | 40 bytes a bar, 4 MB
//   bar times (MyDateTimeTicker)             | the keeper replaces them    | 8 bytes a bar, 0.8 MB
//   indicator series and their plottables    | as the bars: one point per  | 32 bytes a bar (CCI),
//                                            | bar per series              | 3.2 MB; every indicator
//                                            |                             | shown, about 38 MB
//   a window in all                          |                             | about 12 MB; 48 MB
//                                            |                             | for the default four;
//                                            |                             | a rebuild copies the
//                                            |                             | keeper's series once
//                                            |                             | more for a moment
class SymbolChartWidget : public QCustomPlot
{
    Q_OBJECT
public:
    enum Pane { AdxPane, CciPane, MacdPane, MomentumPane, MovingAveragePane, PaneCount };

    SymbolChartWidget(ChartManager *chartManager, const QString &symbol, int period, QWidget *parent = nullptr);
    ~SymbolChartWidget() override;

    QString symbol() const { return chartSymbol; }
    int period() const { return currentPeriod; }

    bool isOneClickTradingVisible() const { return oneClickVisible; }
    void setOneClickTradingVisible(bool visible);

    // 0 open-high-low-close bars, 1 candlesticks.
    void setChartStyle(int style);

    QSize sizeHint() const override;

    // Shows the cached bars of the current period and asks the keeper for the missing ones.
    void loadHistory();
    // Applies one live quote of the chart's symbol; a quote without symbol or time changes nothing.
    void onTick(TickData tick);

    QCPAxisRect *pane(Pane which) const { return panes[which]; }

    // What choosing an entry of the context menu does; the menu hands its choice (or null) here.
    void applyMenuChoice(QAction *chosen);
    // The last bar the indicators read (key = bar index): a tick inside the forming bar moves
    // only the plotted bar, so this keeps the values the bar opened with.
    CandleStick lastIndicatorBar() const;

    // A fully transparent 1 x 1 icon, so the chart area's tabs show no window icon.
    static QIcon blankIcon();

    // The drawing tool of the next press: 0 cursor, 1 horizontal, 2 vertical, 3 crosshair,
    // 4 trend line. The main window writes it on every chart.
    int drawMode = 0;

signals:
    void sell(QString symbol, double volume);
    void buy(QString symbol, double volume);
    // Emitted while period() still returns the old timeframe.
    void timeframeChanged(QString symbol, int period);
    // The end of every mouse gesture on the plot.
    void drawStateFinished();

public slots:
    void onTimeframeChanged(QAction *timeframe_action);
    void onReadyChartHistory(QString symbol, int period);
    // A reply for a series brought no bar: ends this chart's wait for it, nothing else.
    void onEmptyHistoryReply(const QString &symbol, int period);
    void onDrawTimer();
    void onCacheLoaded();
    void rescaleYAxis(QCPRange new_range);
    void setCandleStickData(QList<CandleStick> data);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void initPlot();
    void createContextMenu();
    void togglePane(QCPAxisRect *rect);
    void requestRedraw() { redrawPending = true; }
    // Keeps the indicator points (stores and plottables) of the bars before `count`.
    void truncateIndicators(int count);
    // Drops every bar from index `count` on, with the indicator points and bar times of those
    // bars; the indicators then resume from there.
    void truncateBars(int count);
    void appendBars(const QList<CandleStick> &data, int from);
    // At the keeper's limit: shows only the newest three quarters of its series.
    void dropOldestBars();
    void showLoadedView();
    // The announced series differs from the shown bars only from the last loaded bar on;
    // `first` is told where the shown bars start in it.
    bool sharesSettledBars(const QList<CandleStick> &data, int *first) const;
    // How far a bar's index moves when the chart shows `data` instead of its bars: 0 for bars
    // of another timeframe or with no bar time in common.
    int indexShiftTo(const QList<CandleStick> &data) const;
    // Moves what is drawn on the bar axis by `bars` keys, so it stays on the bars it marked.
    void shiftDrawings(int bars);

    // Indicators (charts/indicators): brings the shown indicators up to date with the bar
    // series, hands their series to the graphs and ends with rescaleYAxis over the view.
    // Called after every full load (the stores are empty then), after every bar opened by a
    // tick and after every indicator or timeframe choice of the menu.
    void updateIndicators();

    // The end of a gesture, whether the release reached the plot or the context menu took it:
    // a crosshair goes, the tool returns to the cursor, the redraw timer runs again and the
    // main window hears of it.
    void finishGesture();

    ChartManager *chartManager;
    QString chartSymbol;
    int currentPeriod;
    QLabel *titleLabel = nullptr;
    QCPFinancial *candlesticks = nullptr;
    QTimer *drawTimer = nullptr;
    QMenu *contextMenu = nullptr;
    QAction *oneClickAction = nullptr;
    QAction *backgroundAction = nullptr;
    AxisTag *lastPriceTag = nullptr;
    bool oneClickVisible = false;
    QAction *timeframeEntries[ChartBars::TimeframeCount] = {};

    QCPGraph *adxGraph = nullptr;
    QCPGraph *pdiGraph = nullptr;
    QCPGraph *mdiGraph = nullptr;
    QCPGraph *bollingerMiddleGraph = nullptr;
    QCPGraph *bollingerUpperGraph = nullptr;
    QCPGraph *bollingerLowerGraph = nullptr;
    QCPGraph *cciGraph = nullptr;
    QCPBars *macdBars = nullptr;
    QCPGraph *macdSignalGraph = nullptr;
    QCPGraph *momentumGraph = nullptr;
    QCPGraph *movingAverageGraph = nullptr;
    // adxRect, cciRect, macdRect, momentumRect, movingAverageRect, in Pane order.
    QCPAxisRect *panes[PaneCount] = {};
    QCPAxisRect *&adxRect = panes[AdxPane];
    QCPAxisRect *&cciRect = panes[CciPane];
    QCPAxisRect *&macdRect = panes[MacdPane];
    QCPAxisRect *&momentumRect = panes[MomentumPane];
    QCPAxisRect *&movingAverageRect = panes[MovingAveragePane];

    Indicators::SeriesMap adxSeries;
    Indicators::SeriesMap bollingerSeries;
    QVector<double> cciKeys, cciValues;
    Indicators::SeriesMap macdSeries;
    QVector<double> momentumKeys, momentumValues;
    QVector<double> maKeys, maValues;

    OneClickTradingButtons *oneClickPanel = nullptr;

    // The bar series the indicators read: bar index, open, high, low, close. A tick inside the
    // forming bar moves only the plotted bar; these keep the values the bar opened with.
    QVector<double> barKeys, barOpens, barHighs, barLows, barCloses;

    struct LiveBar
    {
        qint64 time = 0; // start of the bar's period, epoch seconds
        double open = 0.0;
        double high = 0.0;
        double low = 0.0;
        double close = 0.0;
    };
    qint64 liveBarIndex = 0;
    LiveBar liveBar;
    // The period the forming bar belongs to (0 before the first load).
    int loadedPeriod = 0;
    // Bars of the last load from the keeper: those before its last bar are settled.
    int loadedCount = 0;
    // The chart left out the keeper's oldest bars at its limit: they are not shown again.
    bool startCut = false;
    // What the bars wait for: nothing, the account's cache, or the reply to a request made with
    // nothing cached.
    enum class Awaiting { Nothing, Cache, Reply };
    Awaiting awaiting = Awaiting::Nothing;

    // The line being drawn and its tag live in the tools until the release.
    DrawingTools *drawingTools = nullptr;
    int priceDigits = 0;
    QColor backgroundColor = Qt::black;
    bool redrawPending = true;

};
