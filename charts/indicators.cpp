#include "indicators.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>

namespace Indicators {

namespace {

int windowStart(int i, int n)
{
    return std::max(i - n + 1, 0);
}

double ratioOrZero(double numerator, double denominator)
{
    return denominator == 0.0 ? 0.0 : numerator / denominator;
}

// Truncation toward zero that stays defined for any double: a NaN gives 0, values past the int
// range stop at its ends.
double truncateToInt(double value)
{
    if (std::isnan(value))
        return 0.0;
    if (value >= double(std::numeric_limits<int>::max()))
        return double(std::numeric_limits<int>::max());
    if (value <= double(std::numeric_limits<int>::min()))
        return double(std::numeric_limits<int>::min());
    return double(int(value));
}

int barCount(const QVector<double> &keys, const QVector<double> &open, const QVector<double> &high,
             const QVector<double> &low, const QVector<double> &close)
{
    // The columns grow together; the shortest bounds every read should they ever disagree.
    return std::min({keys.size(), open.size(), high.size(), low.size(), close.size()});
}

Series &seriesOf(SeriesMap &store, const QString &name)
{
    return store[name];
}

void appendPoint(Series &series, double key, double value)
{
    series.first.append(key);
    series.second.append(value);
}

} // namespace

double appliedPrice(const QVector<double> &open, const QVector<double> &high,
                    const QVector<double> &low, const QVector<double> &close, int i, int kind)
{
    switch (kind) {
    case 1:
        return open.at(i);
    case 2:
        return high.at(i);
    case 3:
        return low.at(i);
    case 4:
        return (high.at(i) + low.at(i)) / 2.0;
    case 5:
        return (close.at(i) + high.at(i) + low.at(i)) / 3.0;
    case 6:
        return (2.0 * close.at(i) + high.at(i) + low.at(i)) / 4.0;
    default:
        return close.at(i);
    }
}

double windowMean(const QVector<double> &values, int i, int n)
{
    const int start = windowStart(i, n);
    if (start > i)
        return 0.0;
    double sum = 0.0;
    for (int j = start; j <= i; ++j)
        sum += values.at(j);
    return sum / double(i - start + 1);
}

double stdDev(const QVector<double> &values, int i, int n, double mean)
{
    const int start = windowStart(i, n);
    if (start > i)
        return 0.0;
    double sum = 0.0;
    for (int j = start; j <= i; ++j) {
        const double d = values.at(j) - mean;
        sum += d * d;
    }
    return std::sqrt(sum / double(i - start + 1));
}

double smaAt(const QVector<double> &open, const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, int i, int n, int kind)
{
    const int start = windowStart(i, n);
    if (start > i)
        return 0.0;
    double sum = 0.0;
    for (int j = start; j <= i; ++j)
        sum += appliedPrice(open, high, low, close, j, kind);
    return sum / double(i - start + 1);
}

double emaAt(const QVector<double> &open, const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, double prev, int i, int n, int kind)
{
    if (i >= n) {
        const double k = 2.0 / (n + 1);
        return (1.0 - k) * prev + k * appliedPrice(open, high, low, close, i, kind);
    }
    double sum = 0.0;
    for (int j = 0; j <= i; ++j)
        sum += appliedPrice(open, high, low, close, j, kind);
    return sum / double(i + 1);
}

double emaStep(int n, double prev, double value)
{
    if (n < 1)
        return 0.0;
    const double k = 2.0 / (n + 1);
    return truncateToInt(prev * (1.0 - k) + value * k);
}

void smaSeries(QVector<double> &outKeys, QVector<double> &outValues, const QVector<double> &keys,
               const QVector<double> &open, const QVector<double> &high,
               const QVector<double> &low, const QVector<double> &close, int n, int kind)
{
    const int bars = barCount(keys, open, high, low, close);
    for (int i = outKeys.size(); i < bars - 1; ++i) {
        outKeys.append(keys.at(i));
        outValues.append(smaAt(open, high, low, close, i, n, kind));
    }
}

void movingAverage(QVector<double> &outKeys, QVector<double> &outValues,
                   const QVector<double> &keys, const QVector<double> &open,
                   const QVector<double> &high, const QVector<double> &low,
                   const QVector<double> &close, int n, const QString &method, int kind)
{
    if (method == QLatin1String("Simple"))
        smaSeries(outKeys, outValues, keys, open, high, low, close, n, kind);
}

void calcCCI(QVector<double> &outKeys, QVector<double> &outValues, const QVector<double> &keys,
             const QVector<double> &open, const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, int n, int kind)
{
    const int bars = barCount(keys, open, high, low, close);
    for (int i = outKeys.size(); i < bars - 1; ++i) {
        const double s = smaAt(open, high, low, close, i, n, kind);
        const double p = appliedPrice(open, high, low, close, i, kind);
        double deviation = 0.0;
        for (int j = windowStart(i, n); j <= i; ++j)
            deviation += std::fabs(appliedPrice(open, high, low, close, j, kind) - s);
        // Scaled by the full period even where the window is shorter.
        const double d = n > 0 ? deviation * (0.015 / n) : 0.0;
        outKeys.append(keys.at(i));
        outValues.append(ratioOrZero(p - s, d));
    }
}

void calcMomentum(QVector<double> &outKeys, QVector<double> &outValues,
                  const QVector<double> &keys, const QVector<double> &open,
                  const QVector<double> &high, const QVector<double> &low,
                  const QVector<double> &close, int n, int kind)
{
    const int bars = barCount(keys, open, high, low, close);
    if (n > bars || n < 0)
        return;
    for (int i = outKeys.size() + n; i < bars - 1; ++i) {
        const double back = appliedPrice(open, high, low, close, i - n, kind);
        outKeys.append(keys.at(i));
        outValues.append(ratioOrZero(appliedPrice(open, high, low, close, i, kind) * 100.0, back));
    }
}

void calcADX(SeriesMap &store, const QVector<double> &keys, const QVector<double> &open,
             const QVector<double> &high, const QVector<double> &low,
             const QVector<double> &close, int n)
{
    const int bars = barCount(keys, open, high, low, close);
    if (n > bars)
        return;
    Series &adx = seriesOf(store, QStringLiteral("adx"));
    Series &pdi = seriesOf(store, QStringLiteral("pdi"));
    Series &mdi = seriesOf(store, QStringLiteral("mdi"));
    int start = adx.first.size();
    if (start == 0) {
        appendPoint(adx, 0.0, 0.0);
        appendPoint(pdi, 0.0, 0.0);
        appendPoint(mdi, 0.0, 0.0);
        start = 1;
    }
    for (int i = start; i < bars; ++i) {
        const double up = high.at(i) - high.at(i - 1);
        const double down = low.at(i - 1) - low.at(i);
        double plusDm = std::max(up, 0.0);
        double minusDm = std::max(down, 0.0);
        if (plusDm > minusDm)
            minusDm = 0.0;
        else if (minusDm > plusDm)
            plusDm = 0.0;
        else
            plusDm = minusDm = 0.0;
        const double tr = std::max({std::fabs(high.at(i) - low.at(i)),
                                    std::fabs(high.at(i) - close.at(i - 1)),
                                    std::fabs(low.at(i) - close.at(i - 1))});
        const double rawPlus = ratioOrZero(plusDm * 100.0, tr);
        const double rawMinus = ratioOrZero(minusDm * 100.0, tr);
        const double p = emaStep(n, pdi.second.at(i - 1), rawPlus);
        const double m = emaStep(n, mdi.second.at(i - 1), rawMinus);
        const double dx = ratioOrZero(std::fabs(p - m), p + m) * 100.0;
        const double a = emaStep(n, adx.second.at(i - 1), dx);
        appendPoint(adx, keys.at(i), a);
        appendPoint(pdi, keys.at(i), p);
        appendPoint(mdi, keys.at(i), m);
    }
}

void calcBollinger(SeriesMap &store, const QVector<double> &keys, const QVector<double> &prices,
                   int n, int width)
{
    Series &middle = seriesOf(store, QStringLiteral("ml"));
    Series &top = seriesOf(store, QStringLiteral("tl"));
    Series &bottom = seriesOf(store, QStringLiteral("bl"));
    const int bars = std::min(keys.size(), prices.size());
    for (int i = middle.first.size(); i < bars; ++i) {
        const double m = windowMean(prices, i, n);
        const double sd = stdDev(prices, i, n, m);
        appendPoint(middle, keys.at(i), m);
        appendPoint(top, keys.at(i), m + width * sd);
        appendPoint(bottom, keys.at(i), m - width * sd);
    }
}

void calcMACD(SeriesMap &store, const QVector<double> &keys, const QVector<double> &open,
              const QVector<double> &high, const QVector<double> &low,
              const QVector<double> &close, int fastN, int slowN, int signalN, int kind)
{
    Series &fast = seriesOf(store, QStringLiteral("fastEMA"));
    Series &slow = seriesOf(store, QStringLiteral("slowEMA"));
    Series &macd = seriesOf(store, QStringLiteral("MACD"));
    Series &signal = seriesOf(store, QStringLiteral("signal"));
    const int bars = barCount(keys, open, high, low, close);
    const double k = 2.0 / (signalN + 1);
    for (int i = fast.first.size(); i < bars - 1; ++i) {
        const double prevFast = i == 0 ? 0.0 : fast.second.at(i - 1);
        const double prevSlow = i == 0 ? 0.0 : slow.second.at(i - 1);
        const double prevSignal = i == 0 ? 0.0 : signal.second.at(i - 1);
        const double f = emaAt(open, high, low, close, prevFast, i, fastN, kind);
        const double s = emaAt(open, high, low, close, prevSlow, i, slowN, kind);
        const double m = f - s;
        appendPoint(fast, keys.at(i), f);
        appendPoint(slow, keys.at(i), s);
        appendPoint(macd, keys.at(i), m);
        appendPoint(signal, keys.at(i), (1.0 - k) * prevSignal + k * m);
    }
}

void ValueBounds::include(double value)
{
    lower = std::min(lower, value);
    upper = std::max(upper, value);
}

PaneBounds paneBounds(const SeriesMap &adxSeries, const QVector<double> &cciValues,
                      const SeriesMap &macdSeries, const QVector<double> &momentumValues,
                      const QVector<double> &maValues, int first, int count, int momentumPeriod)
{
    static const Series none;
    const auto series = [](const SeriesMap &store, const char *name) -> const Series & {
        const auto it = store.constFind(QLatin1String(name));
        return it == store.constEnd() ? none : it.value();
    };
    const auto take = [](ValueBounds &bounds, const QVector<double> &values, qint64 index) {
        if (index >= 0 && index < values.size())
            bounds.include(values.at(int(index)));
    };
    const Series &adx = series(adxSeries, "adx");
    const Series &pdi = series(adxSeries, "pdi");
    const Series &mdi = series(adxSeries, "mdi");
    const Series &signal = series(macdSeries, "signal");

    PaneBounds bounds;
    for (qint64 i = std::max(first, 0), end = i + std::max(count, 0); i < end; ++i) {
        take(bounds.adx, adx.second, i);
        take(bounds.adx, pdi.second, i);
        take(bounds.adx, mdi.second, i);
        take(bounds.cci, cciValues, i);
        take(bounds.macd, signal.second, i);
        // Momentum's point j belongs to bar j + n.
        take(bounds.momentum, momentumValues, i - momentumPeriod);
        take(bounds.movingAverage, maValues, i);
    }
    return bounds;
}

} // namespace Indicators
