#pragma once

#include <QString>
#include <QtGlobal>

// The arithmetic of a chart window's bars, apart from any widget: timeframe names, which bar a
// tick belongs to, where a bar starts, how far back history is asked for and which bars are in
// view. Times are epoch seconds; every product and quotient here is 64-bit.
namespace ChartBars {

// Periods are minutes; this one and every period above it form monthly bars.
constexpr int MonthlyPeriod = 40000;
// Bars asked for when a series has nothing cached.
constexpr qint64 HistoryBars = 2000;
// Bars in view after a load.
constexpr int ViewBars = 50;

struct Timeframe
{
    const char *name;
    int minutes;
};
// The nine timeframes in menu order: M1, M5, M15, M30, H1, H4, D1, W1, MN.
constexpr int TimeframeCount = 9;
extern const Timeframe timeframes[TimeframeCount];

// The name of a period; a period that is none of the first eight is named "MN".
QString timeframeName(int period);
// The minutes of a timeframe name (exact, case-sensitive); 0 for a text that names none.
int timeframeMinutes(const QString &name);

inline bool isMonthly(int period) { return period >= MonthlyPeriod; }

// The number of the period that `time` falls in: for monthly periods year * 12 + month in local
// time, otherwise whole periods since the epoch. A period below one minute counts as one.
qint64 periodNumber(qint64 time, int period);
// The start of the period that `time` falls in: monthly, the first of the month at local
// midnight; otherwise the last multiple of the period since the epoch.
qint64 periodStart(qint64 time, int period);

enum class TickPlace { Late, SameBar, NewBar };
// Where a tick at `tickTime` goes against the forming bar that opened at `barTime`.
TickPlace placeTick(qint64 barTime, qint64 tickTime, int period);

// Start of the history asked for when nothing is cached: `now` minus 2000 periods, never before
// the epoch; 0 for monthly periods.
qint64 historyStart(qint64 now, int period);

struct KeyRange
{
    double lower;
    double upper;
    bool operator==(const KeyRange &o) const { return lower == o.lower && upper == o.upper; }
};
// The view after a load of `barCount` bars: the last 50 bars, [0, 50] when there are fewer.
KeyRange viewAfterLoad(int barCount);
// The view after a live tick opened bar `liveIndex`: the last 50 bars and room for one more.
KeyRange viewAfterNewBar(qint64 liveIndex);

} // namespace ChartBars
