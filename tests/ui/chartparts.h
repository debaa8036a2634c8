#pragma once

#include "drawingtools.h"
#include "oneclicktradingbuttons.h"
#include "symbolchartwidget.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTimer>

// A chart window's parts, reached through Qt's object tree and the plot's own API, so tests
// read what the window shows without access to its members.
namespace ChartParts {

inline QCPFinancial *candles(const SymbolChartWidget &chart) { return chart.findChild<QCPFinancial *>(); }
inline QLabel *title(const SymbolChartWidget &chart) { return chart.findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly); }
inline OneClickTradingButtons *panel(const SymbolChartWidget &chart) { return chart.findChild<OneClickTradingButtons *>(); }
inline DrawingTools *tools(const SymbolChartWidget &chart) { return chart.findChild<DrawingTools *>(); }
inline QMenu *menu(const SymbolChartWidget &chart) { return chart.findChild<QMenu *>(QString(), Qt::FindDirectChildrenOnly); }

// The 50 ms redraw timer.
inline QTimer *redrawTimer(const SymbolChartWidget &chart)
{
    for (QTimer *timer : chart.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        if (timer->interval() == 50)
            return timer;
    return nullptr;
}

inline QList<QAction *> timeframeEntries(const SymbolChartWidget &chart)
{
    for (QMenu *sub : menu(chart)->findChildren<QMenu *>())
        if (sub->title() == QLatin1String("Timeframes"))
            return sub->actions();
    return {};
}

// Chooses an entry as the menu does: its check mark toggles, then the chart acts on it.
inline bool choose(SymbolChartWidget &chart, const QString &text)
{
    QList<QAction *> entries = menu(chart)->findChildren<QAction *>();
    entries += chart.findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    for (QAction *entry : entries) {
        if (entry->text() != text)
            continue;
        if (entry->isCheckable() && !(entry->actionGroup() && entry->isChecked()))
            entry->toggle();
        chart.applyMenuChoice(entry);
        return true;
    }
    return false;
}

inline QCPBars *macdBars(const SymbolChartWidget &chart)
{
    for (QCPAbstractPlottable *plottable : chart.pane(SymbolChartWidget::MacdPane)->plottables())
        if (auto *bars = qobject_cast<QCPBars *>(plottable))
            return bars;
    return nullptr;
}

} // namespace ChartParts
