#include "symbolchartwidget.h"

#include "axistag.h"
#include "drawingtools.h"
#include "mydatetimeticker.h"
#include "oneclicktradingbuttons.h"

#include <QActionGroup>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDebug>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int RedrawMs = 50;
constexpr int PaneMaxHeight = 100;

const char *const IndicatorEntries[] = {"Adx", "Bollinger", "Commodity Channel Index", "MACD", "Momentum",
                                        "Moving Average"};

// The library refuses an empty or zero-width range; such an axis keeps its own.
void applyBounds(const Indicators::ValueBounds &bounds, QCPAxis *axis)
{
    if (bounds.usable())
        axis->setRange(bounds.lower, bounds.upper);
}

void whiteAxis(QCPAxis *axis)
{
    axis->setTickLabelColor(Qt::white);
    axis->setBasePen(QPen(Qt::white));
}

} // namespace

SymbolChartWidget::SymbolChartWidget(ChartManager *chartManager, const QString &symbol, int period, QWidget *parent)
    : QCustomPlot(parent)
    , chartManager(chartManager)
    , chartSymbol(symbol)
    , currentPeriod(period)
{
    const QString name = ChartBars::timeframeName(period);
    setWindowIcon(blankIcon());
    // One arg() call each: a '%' in a symbol stays text.
    setWindowTitle(QStringLiteral("%1, %2").arg(symbol, name));
    setGeometry(0, 0, 800, 500);

    drawTimer = new QTimer(this);
    connect(drawTimer, &QTimer::timeout, this, &SymbolChartWidget::onDrawTimer);
    drawTimer->start(RedrawMs);

    initPlot();

    titleLabel = new QLabel(this);
    titleLabel->setText(QStringLiteral("Chart: %1 Time Frame: %2").arg(symbol, name));
    titleLabel->setStyleSheet(QStringLiteral("QLabel { color: white; font-size: 12px}"));
    titleLabel->setGeometry(10, 10, 220, 30);

    oneClickPanel = new OneClickTradingButtons(symbol, this);
    oneClickPanel->setGeometry(10, 40, 240, 55);
    oneClickPanel->hide();
    connect(oneClickPanel, &OneClickTradingButtons::buyButtonClicked, this, &SymbolChartWidget::buy);
    connect(oneClickPanel, &OneClickTradingButtons::sellButtonClicked, this, &SymbolChartWidget::sell);

    createContextMenu();

    drawingTools = new DrawingTools(this, drawTimer);
    connect(drawingTools, &DrawingTools::drawStateFinished, this, &SymbolChartWidget::drawStateFinished);

    if (chartManager) {
        connect(chartManager, &ChartManager::readyChartHistory, this, &SymbolChartWidget::onReadyChartHistory,
                Qt::QueuedConnection);
        loadHistory();
    }
    setAttribute(Qt::WA_MouseTracking);
}

SymbolChartWidget::~SymbolChartWidget() = default;

QIcon SymbolChartWidget::blankIcon()
{
    QPixmap pixmap(1, 1);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

QSize SymbolChartWidget::sizeHint() const
{
    return QSize(800, 600);
}

void SymbolChartWidget::initPlot()
{
    for (QCPAxisRect *&rect : panes)
        rect = new QCPAxisRect(this);

    plotLayout()->setFillOrder(QCPLayoutGrid::foRowsFirst, true);
    plotLayout()->setRowSpacing(0);
    plotLayout()->setColumnSpacing(0);

    connect(xAxis, SIGNAL(rangeChanged(QCPRange)), this, SLOT(rescaleYAxis(QCPRange)));
    for (QCPAxisRect *rect : panes)
        connect(rect->axis(QCPAxis::atBottom), SIGNAL(rangeChanged(QCPRange)), this, SLOT(rescaleYAxis(QCPRange)));

    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

    QCPAxisRect *price = axisRect(0);
    price->setAutoMargins(QCP::msLeft | QCP::msTop | QCP::msBottom);
    price->setMargins(QMargins(0, 0, QFontMetrics(yAxis->tickLabelFont()).horizontalAdvance(QStringLiteral("000000000")), 0));

    setBackground(QBrush(backgroundColor));

    yAxis2->setVisible(true);
    yAxis2->setTickLabels(true);
    yAxis2->grid()->setVisible(true);
    whiteAxis(yAxis2);
    yAxis->setVisible(false);
    whiteAxis(xAxis);

    for (QCPAxisRect *rect : panes) {
        rect->setAutoMargins(price->autoMargins());
        rect->setMargins(price->margins());
        rect->setVisible(false);
        rect->axis(QCPAxis::atLeft)->setVisible(false);
        rect->axis(QCPAxis::atBottom)->setVisible(false);
        QCPAxis *right = rect->axis(QCPAxis::atRight);
        right->setVisible(true);
        right->grid()->setVisible(true);
        whiteAxis(right);
        rect->setMaximumSize(QWIDGETSIZE_MAX, PaneMaxHeight);
    }

    candlesticks = new QCPFinancial(xAxis, yAxis2);
    candlesticks->setName(QStringLiteral("Candlestick"));
    candlesticks->setChartStyle(QCPFinancial::csCandlestick);
    candlesticks->setWidth(0.75);
    candlesticks->setTwoColored(true);
    candlesticks->setBrushPositive(QBrush(Qt::transparent));
    candlesticks->setBrushNegative(QBrush(Qt::red));
    candlesticks->setPenPositive(QPen(Qt::green));
    candlesticks->setPenNegative(QPen(Qt::green));

    lastPriceTag = new AxisTag(yAxis2);
    lastPriceTag->setPen(QPen(Qt::green));

    const auto graph = [this](QCPAxisRect *rect, Qt::GlobalColor colour) {
        QCPGraph *g = addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atRight));
        g->setPen(QPen(colour));
        return g;
    };
    const auto priceGraph = [this](Qt::GlobalColor colour) {
        QCPGraph *g = addGraph(xAxis, yAxis2);
        g->setPen(QPen(colour));
        g->setVisible(false);
        return g;
    };
    adxGraph = graph(adxRect, Qt::red);
    pdiGraph = graph(adxRect, Qt::green);
    mdiGraph = graph(adxRect, Qt::yellow);
    bollingerMiddleGraph = priceGraph(Qt::red);
    bollingerUpperGraph = priceGraph(Qt::green);
    bollingerLowerGraph = priceGraph(Qt::blue);
    cciGraph = graph(cciRect, Qt::blue);
    macdBars = new QCPBars(macdRect->axis(QCPAxis::atBottom), macdRect->axis(QCPAxis::atRight));
    macdBars->setPen(QPen(Qt::gray));
    macdSignalGraph = graph(macdRect, Qt::red);
    momentumGraph = graph(momentumRect, Qt::green);
    movingAverageGraph = graph(movingAverageRect, Qt::green);
}

void SymbolChartWidget::createContextMenu()
{
    contextMenu = new QMenu(this);

    QMenu *timeframes = contextMenu->addMenu(QStringLiteral("Timeframes"));
    auto *group = new QActionGroup(this);
    for (int i = 0; i < ChartBars::TimeframeCount; ++i) {
        const ChartBars::Timeframe &timeframe = ChartBars::timeframes[i];
        QAction *entry = timeframes->addAction(QLatin1String(timeframe.name));
        entry->setCheckable(true);
        const bool monthly = timeframe.minutes == ChartBars::MonthlyPeriod;
        entry->setChecked(monthly ? ChartBars::isMonthly(currentPeriod) : currentPeriod == timeframe.minutes);
        group->addAction(entry);
        timeframeEntries[i] = entry;
    }

    oneClickAction = new QAction(QStringLiteral("One Click Trading"), this);
    oneClickAction->setCheckable(true);
    oneClickAction->setChecked(oneClickVisible);
    contextMenu->addAction(oneClickAction);

    QMenu *indicators = contextMenu->addMenu(QStringLiteral("Indicators"));
    for (const char *text : IndicatorEntries) {
        QAction *entry = indicators->addAction(QLatin1String(text));
        entry->setCheckable(true);
    }

    backgroundAction = new QAction(QStringLiteral("Background"), this);
    contextMenu->addAction(backgroundAction);
}

void SymbolChartWidget::setOneClickTradingVisible(bool visible)
{
    oneClickVisible = visible;
    oneClickAction->setChecked(visible);
    oneClickPanel->setVisible(visible);
}

void SymbolChartWidget::setChartStyle(int style)
{
    candlesticks->setChartStyle(style == 0 ? QCPFinancial::csOhlc : QCPFinancial::csCandlestick);
    requestRedraw();
}

void SymbolChartWidget::onDrawTimer()
{
    if (!redrawPending)
        return;
    redrawPending = false;
    replot(QCustomPlot::rpRefreshHint);
}

// --- Context menu ------------------------------------------------------------------------------

void SymbolChartWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QAction *chosen = contextMenu->exec(event->globalPos());
    // The menu opened on the press and took the release: the gesture ends here instead.
    finishGesture();
    applyMenuChoice(chosen);
}

CandleStick SymbolChartWidget::lastIndicatorBar() const
{
    if (barKeys.isEmpty())
        return {};
    return {qint64(barKeys.last()), barOpens.last(), barHighs.last(), barLows.last(), barCloses.last()};
}

void SymbolChartWidget::applyMenuChoice(QAction *chosen)
{
    if (!chosen)
        return;
    if (chosen == oneClickAction) {
        setOneClickTradingVisible(chosen->isChecked());
        return;
    }
    if (chosen == backgroundAction) {
        const QColor colour = QColorDialog::getColor(backgroundColor, this, QStringLiteral("Select Color"));
        if (colour.isValid()) {
            backgroundColor = colour;
            setBackground(QBrush(backgroundColor));
            requestRedraw();
        }
        return;
    }

    axisRect(0)->setMinimumSize(axisRect(0)->minimumSize().width(), height() / 2);
    const QString text = chosen->text();
    if (text == QLatin1String("Adx"))
        togglePane(adxRect);
    else if (text == QLatin1String("Commodity Channel Index"))
        togglePane(cciRect);
    else if (text == QLatin1String("MACD"))
        togglePane(macdRect);
    else if (text == QLatin1String("Momentum"))
        togglePane(momentumRect);
    else if (text == QLatin1String("Moving Average"))
        togglePane(movingAverageRect);
    else if (text == QLatin1String("Bollinger")) {
        for (QCPGraph *g : {bollingerMiddleGraph, bollingerUpperGraph, bollingerLowerGraph})
            g->setVisible(!g->visible());
    } else {
        onTimeframeChanged(chosen);
    }
    updateIndicators();
    requestRedraw();
}

void SymbolChartWidget::togglePane(QCPAxisRect *rect)
{
    // take, never remove: remove would delete the pane with its axes and graphs.
    if (rect->layout()) {
        plotLayout()->take(rect);
        plotLayout()->simplify();
        rect->setVisible(false);
    } else {
        plotLayout()->addElement(rect);
        rect->setVisible(true);
    }
}

// --- Timeframe ---------------------------------------------------------------------------------

void SymbolChartWidget::onTimeframeChanged(QAction *timeframe_action)
{
    if (!timeframe_action)
        return;
    const QString text = timeframe_action->text();
    setWindowTitle(QStringLiteral("%1, %2").arg(chartSymbol, text));
    titleLabel->setText(QStringLiteral("Chart: %1 Time Frame: %2").arg(chartSymbol, text));

    for (int i = 0; i < ChartBars::TimeframeCount; ++i) {
        if (text != QLatin1String(ChartBars::timeframes[i].name))
            continue;
        const int minutes = ChartBars::timeframes[i].minutes;
        if (minutes == currentPeriod)
            return;
        emit timeframeChanged(chartSymbol, minutes);
        timeframeEntries[i]->setChecked(true);
        currentPeriod = minutes;
        loadHistory();
        return;
    }
}

// --- Bars --------------------------------------------------------------------------------------

void SymbolChartWidget::loadHistory()
{
    if (!chartManager)
        return;
    const QList<CandleStick> cached = chartManager->getChartHistory(chartSymbol, currentPeriod);
    if (cached.isEmpty()) {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        chartManager->requestChartHistory(chartSymbol, currentPeriod, ChartBars::historyStart(now, currentPeriod), -1);
        return;
    }
    chartManager->requestChartHistory(chartSymbol, currentPeriod, cached.last().timestamp, -1);
    setCandleStickData(cached);
}

void SymbolChartWidget::onReadyChartHistory(QString symbol, int period)
{
    if (!chartManager || symbol != chartSymbol || period != currentPeriod)
        return;
    setCandleStickData(chartManager->getChartHistory(symbol, period));
}

void SymbolChartWidget::setCandleStickData(QList<CandleStick> data)
{
    const int count = data.size();
    for (QVector<double> *column : {&barKeys, &barOpens, &barHighs, &barLows, &barCloses}) {
        column->clear();
        column->reserve(count);
    }
    auto ticker = QSharedPointer<MyDateTimeTicker>::create();
    ticker->setDateTimeFormat(QStringLiteral("dd MMM\nHH:mm"));
    for (int i = 0; i < count; ++i) {
        const CandleStick &bar = data.at(i);
        barKeys.append(i);
        barOpens.append(bar.open);
        barHighs.append(bar.high);
        barLows.append(bar.low);
        barCloses.append(bar.close);
        ticker->addTimestamp(double(bar.timestamp));
    }
    if (count > 0) {
        const CandleStick &last = data.last();
        liveBarIndex = count - 1;
        liveBar = {last.timestamp, last.open, last.high, last.low, last.close};
        loadedPeriod = currentPeriod;
    }
    xAxis->setTicker(ticker);
    candlesticks->setData(barKeys, barOpens, barHighs, barLows, barCloses, true);

    clearIndicatorStores();
    updateIndicators();
    requestRedraw();
    if (count == 0)
        return;

    const ChartBars::KeyRange view = ChartBars::viewAfterLoad(count);
    const QCPRange range(view.lower, view.upper);
    xAxis->setRange(range);
    for (QCPAxisRect *rect : panes)
        rect->axis(QCPAxis::atBottom)->setRange(range);
}

void SymbolChartWidget::onTick(TickData tick)
{
    if (tick.symbol.isEmpty() || tick.timestamp == 0)
        return;
    priceDigits = tick.digits;

    oneClickPanel->setBuyPrice(tick.ask, tick.digits);
    oneClickPanel->setSellPrice(tick.bid, tick.digits);
    oneClickPanel->setMinimumVolume(tick.min_vol);
    oneClickPanel->setMaximumVolume(tick.max_vol);
    oneClickPanel->setVolumeStep(tick.step_vol);

    if (candlesticks->data()->isEmpty() || loadedPeriod != currentPeriod)
        return;

    const double price = tick.bid;
    const ChartBars::TickPlace place = ChartBars::placeTick(liveBar.time, tick.timestamp, currentPeriod);
    if (place == ChartBars::TickPlace::Late)
        return;

    if (place == ChartBars::TickPlace::SameBar) {
        // Only the plotted bar follows; the series keep the values the bar opened with.
        QCPFinancialData &plotted = *(candlesticks->data()->end() - 1);
        if (price > liveBar.high)
            liveBar.high = plotted.high = price;
        if (price < liveBar.low)
            liveBar.low = plotted.low = price;
        liveBar.close = plotted.close = price;
    } else {
        if (chartManager)
            chartManager->appendCandleStick(chartSymbol, currentPeriod, liveBar.time, liveBar.open, liveBar.high,
                                            liveBar.low, liveBar.close);
        ++liveBarIndex;
        candlesticks->addData(double(liveBarIndex), price, price, price, price);
        barKeys.append(double(liveBarIndex));
        barOpens.append(price);
        barHighs.append(price);
        barLows.append(price);
        barCloses.append(price);
        updateIndicators();
        const qint64 start = ChartBars::periodStart(tick.timestamp, currentPeriod);
        liveBar = {start, price, price, price, price};
        if (auto *ticker = dynamic_cast<MyDateTimeTicker *>(xAxis->ticker().data()))
            ticker->addTimestamp(double(start));

        const ChartBars::KeyRange view = ChartBars::viewAfterNewBar(liveBarIndex);
        const QCPRange range(view.lower, view.upper);
        xAxis->setRange(range);
        adxRect->axis(QCPAxis::atBottom)->setRange(range);
        cciRect->axis(QCPAxis::atBottom)->setRange(range);
    }

    lastPriceTag->setPen(QPen(liveBar.open > price ? Qt::red : Qt::green));
    lastPriceTag->updatePosition(price);
    lastPriceTag->setText(QString::number(price, 'f', tick.digits));

    const double point = std::pow(0.1, tick.digits);
    const QCPRange prices = yAxis2->range();
    if (price > prices.upper)
        yAxis2->setRange(prices.lower, price + 5 * point);
    else if (price < prices.lower)
        yAxis2->setRange(price - 5 * point, prices.upper);
    requestRedraw();
}

void SymbolChartWidget::rescaleYAxis(QCPRange new_range)
{
    // Only the bars in view, with one beyond each edge.
    Indicators::ValueBounds price;
    const QSharedPointer<QCPFinancialDataContainer> bars = candlesticks->data();
    const auto begin = bars->findBegin(new_range.lower, true);
    const auto end = bars->findEnd(new_range.upper, true);
    for (auto it = begin; it != end; ++it) {
        price.include(it->low);
        price.include(it->high);
    }
    // The forming bar always counts, in view or not.
    price.include(liveBar.low);
    price.include(liveBar.high);
    applyBounds(price, yAxis2);

    const int first = begin == end ? 0 : int(begin->key);
    const Indicators::PaneBounds panesInView =
        Indicators::paneBounds(adxSeries, cciValues, macdSeries, momentumValues, maValues, first, int(end - begin));
    const Indicators::ValueBounds *paneValues[PaneCount] = {&panesInView.adx, &panesInView.cci, &panesInView.macd,
                                                            &panesInView.momentum, &panesInView.movingAverage};
    xAxis->setRange(new_range);
    for (int p = 0; p < PaneCount; ++p) {
        applyBounds(*paneValues[p], panes[p]->axis(QCPAxis::atRight));
        panes[p]->axis(QCPAxis::atBottom)->setRange(new_range);
    }
    requestRedraw();
}

void SymbolChartWidget::clearIndicatorStores()
{
    adxSeries.clear();
    bollingerSeries.clear();
    cciKeys.clear();
    cciValues.clear();
    macdSeries.clear();
    momentumKeys.clear();
    momentumValues.clear();
    maKeys.clear();
    maValues.clear();
}

void SymbolChartWidget::updateIndicators()
{
    using namespace Indicators;
    // Each extends from where its series stopped; a hidden one waits and catches up when shown.
    const auto show = [](QCPGraph *graph, const Series &series) { graph->setData(series.first, series.second); };
    if (adxRect->visible()) {
        calcADX(adxSeries, barKeys, barOpens, barHighs, barLows, barCloses, AdxPeriod);
        show(adxGraph, adxSeries[QStringLiteral("adx")]);
        show(pdiGraph, adxSeries[QStringLiteral("pdi")]);
        show(mdiGraph, adxSeries[QStringLiteral("mdi")]);
    }
    if (bollingerMiddleGraph->visible()) {
        calcBollinger(bollingerSeries, barKeys, barCloses, BollingerPeriod, BollingerWidth);
        show(bollingerMiddleGraph, bollingerSeries[QStringLiteral("ml")]);
        show(bollingerUpperGraph, bollingerSeries[QStringLiteral("tl")]);
        show(bollingerLowerGraph, bollingerSeries[QStringLiteral("bl")]);
    }
    // The menu toggles the CCI pane, never this graph: the series keeps up while hidden too.
    if (cciGraph->visible()) {
        calcCCI(cciKeys, cciValues, barKeys, barOpens, barHighs, barLows, barCloses, CciPeriod, CciPrice);
        cciGraph->setData(cciKeys, cciValues);
    }
    if (macdRect->visible()) {
        calcMACD(macdSeries, barKeys, barOpens, barHighs, barLows, barCloses, MacdFast, MacdSlow, MacdSignal, 0);
        const Series &histogram = macdSeries[QStringLiteral("MACD")];
        macdBars->setData(histogram.first, histogram.second);
        show(macdSignalGraph, macdSeries[QStringLiteral("signal")]);
    }
    if (momentumRect->visible()) {
        calcMomentum(momentumKeys, momentumValues, barKeys, barOpens, barHighs, barLows, barCloses, MomentumPeriod,
                     0);
        momentumGraph->setData(momentumKeys, momentumValues);
    }
    if (movingAverageRect->visible()) {
        movingAverage(maKeys, maValues, barKeys, barOpens, barHighs, barLows, barCloses, MovingAveragePeriod,
                      QStringLiteral("Simple"), 0);
        movingAverageGraph->setData(maKeys, maValues);
    }
    rescaleYAxis(xAxis->range());
}

// --- Mouse -------------------------------------------------------------------------------------

void SymbolChartWidget::mousePressEvent(QMouseEvent *event)
{
    qDebug() << "mouse press: " << event->button() << event->pos();
    // The tools take the press in modes 1 to 4 (and ignore one while a line is being drawn);
    // in the cursor mode it drags the view.
    if (drawingTools->press(event->pos(), drawMode, priceDigits)) {
        requestRedraw();
        return;
    }
    QCustomPlot::mousePressEvent(event);
}

void SymbolChartWidget::mouseMoveEvent(QMouseEvent *event)
{
    qDebug() << "mouse move: " << event->buttons() << event->pos();
    if (drawingTools->move(event->pos()))
        return;
    QCustomPlot::mouseMoveEvent(event);
}

void SymbolChartWidget::mouseReleaseEvent(QMouseEvent *event)
{
    qDebug() << "mouse release: " << event->button() << event->pos();
    QCustomPlot::mouseReleaseEvent(event);
    finishGesture();
}

void SymbolChartWidget::finishGesture()
{
    drawMode = 0;
    drawingTools->release();
    requestRedraw();
}
