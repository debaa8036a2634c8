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
#include <limits>

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
        // Queued as well, so that it keeps its place among the announcements.
        connect(chartManager, &ChartManager::emptyHistoryReply, this, &SymbolChartWidget::onEmptyHistoryReply,
                Qt::QueuedConnection);
        // Queued too, so that it comes after the announcements of the series the load read.
        connect(chartManager, &ChartManager::cacheLoaded, this, &SymbolChartWidget::onCacheLoaded,
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
    // A background tab or a hidden chart area waits: what changed meanwhile is drawn once it
    // can be seen again.
    if (!redrawPending || !isVisible() || visibleRegion().isEmpty())
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

// --- Bars ---------------------------------------------------------------------------------------

void SymbolChartWidget::loadHistory()
{
    if (!chartManager)
        return;
    // Asked now, the request could not start from the newest cached bar.
    if (chartManager->isLoading()) {
        awaiting = Awaiting::Cache;
        return;
    }
    const QList<CandleStick> cached = chartManager->getChartHistory(chartSymbol, currentPeriod);
    if (cached.isEmpty()) {
        awaiting = Awaiting::Reply;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        chartManager->requestChartHistory(chartSymbol, currentPeriod, ChartBars::historyStart(now, currentPeriod), -1);
        return;
    }
    awaiting = Awaiting::Nothing;
    chartManager->requestChartHistory(chartSymbol, currentPeriod, cached.last().timestamp, -1);
    onReadyChartHistory(chartSymbol, currentPeriod);
}

void SymbolChartWidget::onCacheLoaded()
{
    // The account's cache held nothing of this series.
    if (awaiting == Awaiting::Cache)
        loadHistory();
}

void SymbolChartWidget::onEmptyHistoryReply(const QString &symbol, int period)
{
    // The answer is in and brought nothing: the shown bars, the forming one among them, stay,
    // and ticks build on from the forming bar.
    if (symbol == chartSymbol && period == currentPeriod && awaiting == Awaiting::Reply)
        awaiting = Awaiting::Nothing;
}

void SymbolChartWidget::onReadyChartHistory(QString symbol, int period)
{
    if (!chartManager || symbol != chartSymbol || period != currentPeriod)
        return;
    const QList<CandleStick> series = chartManager->getChartHistory(symbol, period);
    if (series.isEmpty())
        return;
    if (awaiting == Awaiting::Cache)
        chartManager->requestChartHistory(chartSymbol, currentPeriod, series.last().timestamp, -1);
    awaiting = Awaiting::Nothing;
    int first = 0;
    if (!sharesSettledBars(series, &first)) {
        setCandleStickData(series);
        return;
    }
    // A reply to the chart's own request from its newest bar: only the end is new.
    truncateBars(loadedCount - 1);
    appendBars(series, first + loadedCount - 1);
    updateIndicators();
    requestRedraw();
    showLoadedView();
}

bool SymbolChartWidget::sharesSettledBars(const QList<CandleStick> &data, int *first) const
{
    const int settled = loadedCount - 1;
    const auto *ticker = dynamic_cast<const MyDateTimeTicker *>(xAxis->ticker().data());
    if (settled <= 0 || loadedPeriod != currentPeriod || !ticker || ticker->barTimes().size() < settled
        || barKeys.size() < settled)
        return false;
    // Bars older than the shown ones are those the chart left out at the limit, and stay out.
    int at = 0;
    if (startCut) {
        const qint64 shownFirst = qint64(ticker->barTimes().constFirst());
        at = int(std::lower_bound(data.cbegin(), data.cend(), shownFirst,
                                  [](const CandleStick &bar, qint64 time) { return bar.timestamp < time; })
                 - data.cbegin());
    }
    if (data.size() - at < loadedCount)
        return false;
    for (int i = 0; i < settled; ++i) {
        const CandleStick &bar = data.at(at + i);
        if (double(bar.timestamp) != ticker->barTimes().at(i) || bar.open != barOpens.at(i)
            || bar.high != barHighs.at(i) || bar.low != barLows.at(i) || bar.close != barCloses.at(i))
            return false;
    }
    *first = at;
    return true;
}

int SymbolChartWidget::indexShiftTo(const QList<CandleStick> &data) const
{
    // After a change of timeframe, drawings keep their index.
    const auto *ticker = dynamic_cast<const MyDateTimeTicker *>(xAxis->ticker().data());
    if (data.isEmpty() || !ticker || ticker->barTimes().isEmpty() || loadedPeriod != currentPeriod)
        return 0;
    const QVector<double> &shown = ticker->barTimes();
    // The new first bar among the shown ones (older bars went), or the shown first bar among
    // the new ones (older bars came).
    const double newFirst = double(data.constFirst().timestamp);
    const auto inShown = std::lower_bound(shown.cbegin(), shown.cend(), newFirst);
    if (inShown != shown.cend() && *inShown == newFirst)
        return -int(inShown - shown.cbegin());
    const qint64 shownFirst = qint64(shown.constFirst());
    const auto inData = std::lower_bound(data.cbegin(), data.cend(), shownFirst,
                                         [](const CandleStick &bar, qint64 time) { return bar.timestamp < time; });
    if (inData != data.cend() && inData->timestamp == shownFirst)
        return int(inData - data.cbegin());
    return 0;
}

void SymbolChartWidget::shiftDrawings(int bars)
{
    if (bars == 0)
        return;
    // Lines are placed by bar index on xAxis; tags and other anchored positions follow their
    // anchors or the axis rect.
    for (int i = 0; i < itemCount(); ++i) {
        for (QCPItemPosition *position : item(i)->positions()) {
            if (position->typeX() == QCPItemPosition::ptPlotCoords && position->keyAxis() == xAxis
                && !position->parentAnchorX())
                position->setCoords(position->key() + bars, position->value());
        }
    }
}

void SymbolChartWidget::setCandleStickData(QList<CandleStick> data)
{
    // Read from the bars and their ticker before both are replaced.
    const int shift = indexShiftTo(data);
    startCut = false;
    for (QVector<double> *column : {&barKeys, &barOpens, &barHighs, &barLows, &barCloses})
        column->clear();
    auto ticker = QSharedPointer<MyDateTimeTicker>::create();
    ticker->setDateTimeFormat(QStringLiteral("dd MMM\nHH:mm"));
    ticker->fitTo(xAxis);
    xAxis->setTicker(ticker);
    candlesticks->data()->clear();
    truncateIndicators(0);
    appendBars(data, 0);
    shiftDrawings(shift);
    if (!data.isEmpty() && awaiting == Awaiting::Reply)
        awaiting = Awaiting::Nothing;
    updateIndicators();
    requestRedraw();
    if (!data.isEmpty())
        showLoadedView();
}

void SymbolChartWidget::appendBars(const QList<CandleStick> &data, int from)
{
    const int count = data.size();
    if (from >= count)
        return;
    auto *ticker = dynamic_cast<MyDateTimeTicker *>(xAxis->ticker().data());
    const int added = count - from;
    QVector<double> keys, opens, highs, lows, closes;
    for (QVector<double> *column : {&keys, &opens, &highs, &lows, &closes})
        column->reserve(added);
    for (int i = from; i < count; ++i) {
        const CandleStick &bar = data.at(i);
        keys.append(barKeys.size() + keys.size());
        opens.append(bar.open);
        highs.append(bar.high);
        lows.append(bar.low);
        closes.append(bar.close);
        if (ticker)
            ticker->addTimestamp(double(bar.timestamp));
    }
    candlesticks->addData(keys, opens, highs, lows, closes, true);
    barKeys += keys;
    barOpens += opens;
    barHighs += highs;
    barLows += lows;
    barCloses += closes;
    const CandleStick &last = data.last();
    liveBarIndex = barKeys.size() - 1;
    liveBar = {last.timestamp, last.open, last.high, last.low, last.close};
    loadedPeriod = currentPeriod;
    loadedCount = barKeys.size();
}

void SymbolChartWidget::dropOldestBars()
{
    // Bars sit at their index, so the oldest cannot simply be cut off: the chart starts over
    // from the keeper's series, which holds the bar just finished. A quarter less than the limit
    // leaves room for many bars before the next start, so a bar costs no rebuild of its own.
    const QList<CandleStick> series = chartManager->getChartHistory(chartSymbol, currentPeriod);
    if (series.isEmpty())
        return;
    const int kept = qMin(series.size(), qMax(1, chartManager->seriesLimit() / 4 * 3));
    setCandleStickData(series.mid(series.size() - kept));
    startCut = kept < series.size();
}

void SymbolChartWidget::truncateBars(int count)
{
    for (QVector<double> *column : {&barKeys, &barOpens, &barHighs, &barLows, &barCloses})
        column->resize(count);
    candlesticks->data()->removeAfter(count - 0.5);
    if (auto *ticker = dynamic_cast<MyDateTimeTicker *>(xAxis->ticker().data()))
        ticker->truncate(count);
    truncateIndicators(count);
}

void SymbolChartWidget::showLoadedView()
{
    const ChartBars::KeyRange view = ChartBars::viewAfterLoad(barKeys.size());
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

    if (candlesticks->data()->isEmpty())
        return;

    const double price = tick.bid;
    const ChartBars::TickPlace place = ChartBars::placeTick(liveBar.time, tick.timestamp, currentPeriod);
    if (place == ChartBars::TickPlace::Late)
        return;

    if (awaiting != Awaiting::Nothing) {
        // Bars wait for the series; the tag and the axis follow the price meanwhile.
    } else if (place == ChartBars::TickPlace::SameBar) {
        // Only the plotted bar follows; the series keep the values the bar opened with.
        QCPFinancialData &plotted = *(candlesticks->data()->end() - 1);
        if (price > liveBar.high)
            liveBar.high = plotted.high = price;
        if (price < liveBar.low)
            liveBar.low = plotted.low = price;
        liveBar.close = plotted.close = price;
    } else {
        // A forming bar of the timeframe before a change is no bar of this series.
        if (chartManager && loadedPeriod == currentPeriod)
            chartManager->appendCandleStick(chartSymbol, currentPeriod, liveBar.time, liveBar.open, liveBar.high,
                                            liveBar.low, liveBar.close);
        if (chartManager && barKeys.size() >= chartManager->seriesLimit())
            dropOldestBars();
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
        loadedPeriod = currentPeriod;
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

    // The panes read their series from the view's own left edge, one index per bar walked.
    const double lower = std::trunc(qBound(0.0, new_range.lower, double(std::numeric_limits<int>::max())));
    const Indicators::PaneBounds panesInView =
        Indicators::paneBounds(adxSeries, cciValues, macdSeries, momentumValues, maValues, int(lower), int(end - begin));
    const Indicators::ValueBounds *paneValues[PaneCount] = {&panesInView.adx, &panesInView.cci, &panesInView.macd,
                                                            &panesInView.momentum, &panesInView.movingAverage};
    xAxis->setRange(new_range);
    for (int p = 0; p < PaneCount; ++p) {
        applyBounds(*paneValues[p], panes[p]->axis(QCPAxis::atRight));
        panes[p]->axis(QCPAxis::atBottom)->setRange(new_range);
    }
    requestRedraw();
}

namespace {

// Keeps the points of the bars before `key`; points are in bar order.
void keepBefore(QVector<double> &keys, QVector<double> &values, double key)
{
    const int kept = int(std::lower_bound(keys.cbegin(), keys.cend(), key) - keys.cbegin());
    keys.resize(kept);
    values.resize(std::min(kept, values.size()));
}

// Hands a plottable the points of its series that it lacks: it always holds a start of the
// series, so a new bar costs its own points, not the whole history.
template <typename Plottable>
void feed(Plottable *plottable, const QVector<double> &keys, const QVector<double> &values)
{
    const int held = plottable->data()->size();
    if (held > keys.size())
        plottable->setData(keys, values);
    else if (held < keys.size())
        plottable->addData(keys.mid(held), values.mid(held), true);
}

} // namespace

void SymbolChartWidget::truncateIndicators(int count)
{
    for (Indicators::SeriesMap *store : {&adxSeries, &bollingerSeries, &macdSeries})
        for (Indicators::Series &series : *store)
            keepBefore(series.first, series.second, count);
    keepBefore(cciKeys, cciValues, count);
    keepBefore(momentumKeys, momentumValues, count);
    keepBefore(maKeys, maValues, count);
    for (QCPGraph *graph : {adxGraph, pdiGraph, mdiGraph, bollingerMiddleGraph, bollingerUpperGraph,
                            bollingerLowerGraph, cciGraph, macdSignalGraph, momentumGraph, movingAverageGraph})
        graph->data()->removeAfter(count - 0.5);
    macdBars->data()->removeAfter(count - 0.5);
}

void SymbolChartWidget::updateIndicators()
{
    using namespace Indicators;
    // Each extends from where its series stopped; a hidden one waits and catches up when shown.
    const auto show = [](QCPGraph *graph, const Series &series) { feed(graph, series.first, series.second); };
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
        feed(cciGraph, cciKeys, cciValues);
    }
    if (macdRect->visible()) {
        calcMACD(macdSeries, barKeys, barOpens, barHighs, barLows, barCloses, MacdFast, MacdSlow, MacdSignal, 0);
        const Series &histogram = macdSeries[QStringLiteral("MACD")];
        feed(macdBars, histogram.first, histogram.second);
        show(macdSignalGraph, macdSeries[QStringLiteral("signal")]);
    }
    if (momentumRect->visible()) {
        calcMomentum(momentumKeys, momentumValues, barKeys, barOpens, barHighs, barLows, barCloses, MomentumPeriod,
                     0);
        feed(momentumGraph, momentumKeys, momentumValues);
    }
    if (movingAverageRect->visible()) {
        movingAverage(maKeys, maValues, barKeys, barOpens, barHighs, barLows, barCloses, MovingAveragePeriod,
                      QStringLiteral("Simple"), 0);
        feed(movingAverageGraph, maKeys, maValues);
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
