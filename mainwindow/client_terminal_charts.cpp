// The chart windows of the chart area: opening them, the default set after a login, bringing a
// symbol's chart forward, quotes to every chart of their symbol, the saved "charts" lines, and
// the chart commands of the toolbars and menus (timeframes, style, drawing tools, tile,
// cascade, show and hide). The focus that Qt hands on from a widget being hidden activates no
// chart, and a click on a chart chooses its symbol even when it is already the active one.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "chartbars.h"
#include "symbolchartwidget.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {
constexpr int DefaultChartPeriod = 60;
constexpr int DefaultChartCount = 4;
}

void Client_Terminal::setupChartCommands()
{
    for (QAction *action : {ui->actionM1, ui->actionM5, ui->actionM15, ui->actionM30, ui->actionH1, ui->actionH4,
                            ui->actionD1, ui->actionW1, ui->actionMN})
        connect(action, SIGNAL(triggered()), this, SLOT(onTimeframeActionSelected()));
    connect(ui->actionChartView, SIGNAL(triggered()), this, SLOT(viewChartAction()));
    connect(ui->actionCopyTrading, SIGNAL(triggered()), this, SLOT(viewCopyTradingAction()));
}

SymbolChartWidget *Client_Terminal::chartOf(QMdiSubWindow *subWindow)
{
    return subWindow ? qobject_cast<SymbolChartWidget *>(subWindow->widget()) : nullptr;
}

QList<SymbolChartWidget *> Client_Terminal::chartWindows() const
{
    QList<SymbolChartWidget *> charts;
    for (QMdiSubWindow *subWindow : ui->graphArea->subWindowList(QMdiArea::CreationOrder)) {
        if (SymbolChartWidget *chart = chartOf(subWindow))
            charts.append(chart);
    }
    return charts;
}

SymbolChartWidget *Client_Terminal::createNewChart(QString symbol, int period)
{
    auto *chart = new SymbolChartWidget(chartManager, symbol, period, this);
    QMdiSubWindow *subWindow = ui->graphArea->addSubWindow(chart, Qt::WindowFlags());
    chart->installEventFilter(this);
    subWindow->installEventFilter(this);
    chart->setWindowIcon(SymbolChartWidget::blankIcon());
    chart->onTick(symbolStore.tick(symbol));
    chart->show();
    connect(chart, &SymbolChartWidget::sell, this, &Client_Terminal::doInstantSell);
    connect(chart, &SymbolChartWidget::buy, this, &Client_Terminal::doInstantBuy);
    connect(chart, &SymbolChartWidget::timeframeChanged, this, &Client_Terminal::onTimeframeChanged);
    connect(chart, &SymbolChartWidget::drawStateFinished, this, &Client_Terminal::on_draw_line_finished);
    return chart;
}

SymbolChartWidget *Client_Terminal::createNewChart(QString symbol)
{
    return createNewChart(symbol, DefaultChartPeriod);
}

void Client_Terminal::showChartGraph(QString symbol)
{
    for (QMdiSubWindow *subWindow : ui->graphArea->subWindowList(QMdiArea::CreationOrder)) {
        const SymbolChartWidget *chart = chartOf(subWindow);
        if (chart && chart->symbol() == symbol) {
            ui->graphArea->setActiveSubWindow(subWindow);
            selectedSymbol = symbol;
            return;
        }
    }
    createNewChart(symbol, DefaultChartPeriod);
    ui->graphArea->tileSubWindows();
}

void Client_Terminal::openDefaultCharts()
{
    const QStringList symbols = symbolStore.symbolList();
    for (const QString &symbol : symbols.mid(0, DefaultChartCount))
        createNewChart(symbol, DefaultChartPeriod);
    ui->graphArea->tileSubWindows();
}

void Client_Terminal::deliverTickToCharts(const TickData &tick)
{
    // Every chart of the symbol, whatever its timeframe: one left out would freeze, and its
    // one-click panel would offer stale prices to trade on.
    for (SymbolChartWidget *chart : chartWindows()) {
        if (chart->symbol() == tick.symbol)
            chart->onTick(tick);
    }
}

QString Client_Terminal::chartsFileText() const
{
    QString text;
    for (const SymbolChartWidget *chart : chartWindows()) {
        if (chart->symbol().isEmpty())
            continue;
        Workspace::ChartEntry entry;
        entry.symbol = chart->symbol();
        entry.oneClickVisible = chart->isOneClickTradingVisible();
        entry.geometry = chart->geometry();
        entry.period = chart->period();
        text += Workspace::chartsLine(entry) + QLatin1Char('\n');
    }
    return text;
}

void Client_Terminal::restoreCharts(const QVector<Workspace::ChartEntry> &entries, QList<SymbolChartWidget *> *reloaded)
{
    bool created = false;
    for (const Workspace::ChartEntry &entry : entries) {
        // A chart still open from before a lost connection reloads instead of opening twice.
        SymbolChartWidget *open = nullptr;
        for (SymbolChartWidget *chart : chartWindows()) {
            if (chart->symbol() == entry.symbol) {
                open = chart;
                break;
            }
        }
        if (open) {
            open->loadHistory();
            if (reloaded)
                reloaded->append(open);
            continue;
        }
        createNewChart(entry.symbol, entry.period)->setOneClickTradingVisible(entry.oneClickVisible);
        created = true;
    }
    if (created)
        ui->graphArea->tileSubWindows();
}

void Client_Terminal::checkTimeframeAction(int period)
{
    const QList<QAction *> actions = {ui->actionM1, ui->actionM5,  ui->actionM15, ui->actionM30, ui->actionH1,
                                      ui->actionH4, ui->actionD1, ui->actionW1,  ui->actionMN};
    for (int i = 0; i < ChartBars::TimeframeCount - 1; ++i) {
        if (ChartBars::timeframes[i].minutes == period) {
            actions.at(i)->setChecked(true);
            return;
        }
    }
    ui->actionMN->setChecked(true);
}

void Client_Terminal::onTimeframeChanged(QString symbol, int interval)
{
    Q_UNUSED(symbol)
    checkTimeframeAction(interval);
}

void Client_Terminal::onTimeframeActionSelected()
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    if (SymbolChartWidget *chart = chartOf(ui->graphArea->activeSubWindow()))
        chart->onTimeframeChanged(action);
}

void Client_Terminal::on_graphArea_subWindowActivated(QMdiSubWindow *arg1)
{
    const SymbolChartWidget *chart = chartOf(arg1);
    if (!chart)
        return;
    selectedSymbol = chart->symbol();
    checkTimeframeAction(chart->period());
}

bool Client_Terminal::eventFilter(QObject *watched, QEvent *event)
{
    // Activation chooses a chart's symbol only when another chart was active: a click on the
    // active chart, after a market-watch row was chosen, chooses the chart again.
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *chart = qobject_cast<SymbolChartWidget *>(watched);
        if (!chart)
            chart = chartOf(qobject_cast<QMdiSubWindow *>(watched));
        if (chart)
            selectedSymbol = chart->symbol();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Client_Terminal::focusNextPrevChild(bool next)
{
    // A widget being hidden (a Toolbox page left, a dock hidden) hands its focus on along the
    // window's focus chain, which runs through the charts in the order they were opened: the
    // chart it reached would become the active one and choose its symbol, though the trader
    // chose neither. That focus skips every chart but the active one; Tab and Backtab, pressed in
    // a widget that is shown, move as they always have.
    QWidget *focus = QApplication::focusWidget();
    if (!focus || focus->isVisible() || !isAncestorOf(focus))
        return QMainWindow::focusNextPrevChild(next);
    const QMdiSubWindow *active = ui->graphArea->activeSubWindow();
    for (QWidget *w = focus; (w = next ? w->nextInFocusChain() : w->previousInFocusChain()) != focus;) {
        const bool inChartArea = w == ui->graphArea || ui->graphArea->isAncestorOf(w);
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() && w->isVisible()
            && w->isEnabled() && w->window() == this
            && (!inChartArea || (active && (w == active || active->isAncestorOf(w))))) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    // Nothing else can hold it: the window does, rather than a widget no one sees.
    setFocus(Qt::OtherFocusReason);
    return true;
}

void Client_Terminal::on_actionBar_Chart_triggered()
{
    if (SymbolChartWidget *chart = chartOf(ui->graphArea->activeSubWindow()))
        chart->setChartStyle(0);
}

void Client_Terminal::on_actionCandlesticks_triggered()
{
    if (SymbolChartWidget *chart = chartOf(ui->graphArea->activeSubWindow()))
        chart->setChartStyle(1);
}

void Client_Terminal::setDrawMode(int mode)
{
    for (SymbolChartWidget *chart : chartWindows())
        chart->drawMode = mode;
}

void Client_Terminal::on_actionCursor_triggered()
{
    setDrawMode(0);
}

void Client_Terminal::on_actionHorizontal_Line_triggered()
{
    setDrawMode(1);
}

void Client_Terminal::on_actionVertical_Line_triggered()
{
    setDrawMode(2);
}

void Client_Terminal::on_actionCrosshair_triggered()
{
    setDrawMode(3);
}

void Client_Terminal::on_actionTrendline_triggered()
{
    setDrawMode(4);
}

void Client_Terminal::on_draw_line_finished()
{
    setDrawMode(0);
    ui->actionCursor->setChecked(true);
}

void Client_Terminal::setChartWindowsVisible(bool visible)
{
    for (QMdiSubWindow *subWindow : ui->graphArea->subWindowList(QMdiArea::CreationOrder))
        subWindow->setVisible(visible);
}

void Client_Terminal::viewChartAction()
{
    setChartWindowsVisible(true);
}

void Client_Terminal::viewCopyTradingAction()
{
    setChartWindowsVisible(false);
}
