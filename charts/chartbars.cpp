#include "chartbars.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>

namespace ChartBars {

const Timeframe timeframes[TimeframeCount] = {
    {"M1", 1},    {"M5", 5},     {"M15", 15},   {"M30", 30},           {"H1", 60},
    {"H4", 240},  {"D1", 1440},  {"W1", 10080}, {"MN", MonthlyPeriod},
};

QString timeframeName(int period)
{
    for (int i = 0; i < TimeframeCount - 1; ++i) {
        if (timeframes[i].minutes == period)
            return QLatin1String(timeframes[i].name);
    }
    return QStringLiteral("MN");
}

int timeframeMinutes(const QString &name)
{
    for (const Timeframe &timeframe : timeframes) {
        if (name == QLatin1String(timeframe.name))
            return timeframe.minutes;
    }
    return 0;
}

namespace {

qint64 periodSeconds(int period)
{
    return qint64(std::max(period, 1)) * 60;
}

// Floor division: a time before the epoch still lands in the period that holds it.
qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace

qint64 periodNumber(qint64 time, int period)
{
    if (isMonthly(period)) {
        const QDate date = QDateTime::fromSecsSinceEpoch(time, Qt::LocalTime).date();
        return qint64(date.year()) * 12 + (date.month() - 1);
    }
    return floorDiv(time, periodSeconds(period));
}

qint64 periodStart(qint64 time, int period)
{
    if (isMonthly(period)) {
        const QDate date = QDateTime::fromSecsSinceEpoch(time, Qt::LocalTime).date();
        return QDateTime(QDate(date.year(), date.month(), 1), QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
    }
    return floorDiv(time, periodSeconds(period)) * periodSeconds(period);
}

TickPlace placeTick(qint64 barTime, qint64 tickTime, int period)
{
    const qint64 bar = periodNumber(barTime, period);
    const qint64 tick = periodNumber(tickTime, period);
    if (tick < bar)
        return TickPlace::Late;
    return tick == bar ? TickPlace::SameBar : TickPlace::NewBar;
}

qint64 historyStart(qint64 now, int period)
{
    if (isMonthly(period))
        return 0;
    return std::max<qint64>(0, now - periodSeconds(period) * HistoryBars);
}

KeyRange viewAfterLoad(int barCount)
{
    const double u = std::max(barCount, ViewBars);
    return {u - ViewBars, u};
}

KeyRange viewAfterNewBar(qint64 liveIndex)
{
    const double c = double(std::max<qint64>(liveIndex, ViewBars - 1));
    return {c - (ViewBars - 1), c + 1};
}

} // namespace ChartBars
