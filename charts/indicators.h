#pragma once
// Indicator arithmetic over a chart window's bar columns (keys, open, high, low, close), with no
// widgets: the chart window holds the output series and hands them to its graphs.
//
// Every extending function resumes at the length of its output and appends one point per bar
// it has not yet computed, so a new bar costs the work of that bar alone; a full reload empties
// the outputs first and rebuilds them from bar 0. The Moving Average, CCI, Momentum and MACD stop
// before the forming bar (index N - 1); ADX and the Bollinger bands include it, from its first
// tick on, and never revise that point.
//
// Index rules of the outputs: point j belongs to bar j, except that ADX holds a seed (0, 0) at
// index 0 and Momentum's point j belongs to bar j + n. A zero denominator gives 0, never an
// infinity.
#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>
#include <limits>

namespace Indicators {

// Keys (first) and values (second) of equal length.
using Series = QPair<QVector<double>, QVector<double>>;
using SeriesMap = QMap<QString, Series>;

// Which price of a bar an indicator reads: 0 close, 1 open, 2 high, 3 low, 4 (high + low) / 2,
// 5 (close + high + low) / 3, 6 (2 close + high + low) / 4; anything else the close.
double appliedPrice(const QVector<double> &open, const QVector<double> &high,
                    const QVector<double> &low, const QVector<double> &close, int i, int kind);

// Over the window of index i for period n: indices max(i - n + 1, 0) to i.
double windowMean(const QVector<double> &values, int i, int n);
// Population standard deviation (divided by the window's count) around `mean`.
double stdDev(const QVector<double> &values, int i, int n, double mean);

double smaAt(const QVector<double> &open, const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, int i, int n, int kind);
// From bar n on one smoothing step from `prev`; before it the mean of the prices of bars 0 to i.
double emaAt(const QVector<double> &open, const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, double prev, int i, int n, int kind);
// One smoothing step, truncated toward zero to a whole number (the ADX lines are whole numbers).
double emaStep(int n, double prev, double value);

void smaSeries(QVector<double> &outKeys, QVector<double> &outValues, const QVector<double> &keys,
               const QVector<double> &open, const QVector<double> &high,
               const QVector<double> &low, const QVector<double> &close, int n, int kind);
// "Simple" is the only method; any other leaves the output as it is.
void movingAverage(QVector<double> &outKeys, QVector<double> &outValues,
                   const QVector<double> &keys, const QVector<double> &open,
                   const QVector<double> &high, const QVector<double> &low,
                   const QVector<double> &close, int n, const QString &method, int kind);
void calcCCI(QVector<double> &outKeys, QVector<double> &outValues, const QVector<double> &keys,
             const QVector<double> &open, const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, int n, int kind);
// Factor 100; a zero price n bars back gives 0.
void calcMomentum(QVector<double> &outKeys, QVector<double> &outValues,
                  const QVector<double> &keys, const QVector<double> &open,
                  const QVector<double> &high, const QVector<double> &low,
                  const QVector<double> &close, int n, int kind);
// "adx", "pdi", "mdi".
void calcADX(SeriesMap &store, const QVector<double> &keys, const QVector<double> &open,
             const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, int n);
// "ml", "tl", "bl".
void calcBollinger(SeriesMap &store, const QVector<double> &keys, const QVector<double> &prices,
                   int n, int width);
// "fastEMA", "slowEMA", "MACD", "signal".
void calcMACD(SeriesMap &store, const QVector<double> &keys, const QVector<double> &open,
              const QVector<double> &high, const QVector<double> &low,
              const QVector<double> &close, int fastN, int slowN, int signalN, int kind);

// Fixed parameters of the chart windows' indicators.
constexpr int AdxPeriod = 14;
constexpr int BollingerPeriod = 20;
constexpr int BollingerWidth = 2;
constexpr int CciPeriod = 14;
constexpr int CciPrice = 6;
constexpr int MacdFast = 12;
constexpr int MacdSlow = 26;
constexpr int MacdSignal = 9;
constexpr int MomentumPeriod = 14;
constexpr int MovingAveragePeriod = 10;

// Lowest and highest value seen. Starts empty (the maximum at the lowest double), so values that
// are all negative keep their own upper bound instead of one near 0.
struct ValueBounds
{
    double lower = std::numeric_limits<double>::max();
    double upper = std::numeric_limits<double>::lowest();

    void include(double value);
    // A range an axis can take: at least one value and not all of them equal.
    bool usable() const { return lower < upper; }
};

// The value bounds of the five indicator panes over the bars i = first, first + 1, ... of
// `count` bars: each series read at the index that belongs to bar i (Momentum at i - n); the
// MACD pane counts its signal line only.
struct PaneBounds
{
    ValueBounds adx, cci, macd, momentum, movingAverage;
};
PaneBounds paneBounds(const SeriesMap &adxSeries, const QVector<double> &cciValues,
                      const SeriesMap &macdSeries, const QVector<double> &momentumValues,
                      const QVector<double> &maValues, int first, int count,
                      int momentumPeriod = MomentumPeriod);

} // namespace Indicators
