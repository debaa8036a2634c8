#pragma once
// A chart's bars as the keeper and the server carry them: hour bars ending at a whole hour, the
// chart-history reply that brings them, and a chart window that shows them.
#include "chartmanager.h"

#include <QJsonArray>
#include <QJsonObject>
#include <memory>
#ifdef QT_WIDGETS_LIB
#include "symbolchartwidget.h"
#endif

namespace corvane_test {

constexpr qint64 H1Bar = 1700002800; // a whole hour

// `count` bars one hour apart ending at `last`; even bars rise, odd bars fall.
inline QList<CandleStick> hourBars(int count, qint64 last = H1Bar)
{
    QList<CandleStick> bars;
    for (int i = 0; i < count; ++i) {
        const double base = 1.1 + 0.001 * (i % 7);
        const bool rising = i % 2 == 0;
        bars.append({last - (count - 1 - i) * 3600LL, rising ? base : base + 0.004, base + 0.005, base - 0.001,
                     rising ? base + 0.004 : base});
    }
    return bars;
}

inline QJsonObject historyReply(const QString &symbol, int interval, const QList<CandleStick> &bars)
{
    QJsonArray array;
    for (const CandleStick &bar : bars)
        array.append(QJsonObject{{"datetime", bar.timestamp}, {"open", bar.open}, {"high", bar.high},
                                 {"low", bar.low}, {"close", bar.close}});
    return {{"symbol", symbol}, {"interval", interval}, {"array", array}};
}

#ifdef QT_WIDGETS_LIB
// An H1 chart of `symbol` showing `bars`, loaded through `keeper` as a reply would bring them.
inline std::unique_ptr<SymbolChartWidget> chartWithBars(ChartManager &keeper, const QList<CandleStick> &bars,
                                                        const QString &symbol = QStringLiteral("EURUSD"))
{
    keeper.updateChartHistoryFromServer(historyReply(symbol, 60, bars));
    return std::make_unique<SymbolChartWidget>(&keeper, symbol, 60);
}
#endif

} // namespace corvane_test
