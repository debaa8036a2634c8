// The six indicators of a chart window: the cost of one new bar with 1k, 10k and 100k bars
// loaded (incremental, so it must not grow with the bars) against one full pass over the same
// bars, and the full reload of all six over 100k bars against a plain walk over those bars.
// Every figure is a ratio of times measured in this run.
#include "barseries.h"
#include "indicators.h"

#include <QVector>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

using namespace Indicators;

namespace {

struct Outputs
{
    QVector<double> maKeys, maValues, cciKeys, cciValues, momentumKeys, momentumValues;
    SeriesMap adx, bollinger, macd;

    void extend(const Bars &b)
    {
        movingAverage(maKeys, maValues, b.keys, b.open, b.high, b.low, b.close, MovingAveragePeriod,
                      QStringLiteral("Simple"), 0);
        calcCCI(cciKeys, cciValues, b.keys, b.open, b.high, b.low, b.close, CciPeriod, CciPrice);
        calcMomentum(momentumKeys, momentumValues, b.keys, b.open, b.high, b.low, b.close,
                     MomentumPeriod, 0);
        calcADX(adx, b.keys, b.open, b.high, b.low, b.close, AdxPeriod);
        calcBollinger(bollinger, b.keys, b.close, BollingerPeriod, BollingerWidth);
        calcMACD(macd, b.keys, b.open, b.high, b.low, b.close, MacdFast, MacdSlow, MacdSignal, 0);
    }
    // Drops the newest point of every series: with enough bars each new bar adds exactly one.
    void removeLast()
    {
        for (QVector<double> *v : {&maKeys, &maValues, &cciKeys, &cciValues, &momentumKeys, &momentumValues})
            v->removeLast();
        for (SeriesMap *store : {&adx, &bollinger, &macd})
            for (Series &s : *store) {
                s.first.removeLast();
                s.second.removeLast();
            }
    }
};

Bars randomBars(int count, std::mt19937 &random)
{
    std::uniform_real_distribution<double> step(-0.005, 0.005), wick(0.0, 0.003);
    Bars bars;
    double close = 1.1;
    for (int i = 0; i < count; ++i) {
        const double open = close;
        close = std::max(0.01, open + step(random));
        bars.append(open, std::max(open, close) + wick(random), std::min(open, close) - wick(random), close);
    }
    return bars;
}

using Clock = std::chrono::steady_clock;

template<typename F>
double bestSeconds(int repeats, F &&work)
{
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

volatile double sink = 0.0;

} // namespace

int main()
{
    std::mt19937 random(20261206);
    const Bars all = randomBars(100001, random);
    const int sizes[] = {1000, 10000, 100000};
    double newBar[3] = {};

    for (int s = 0; s < 3; ++s) {
        const int n = sizes[s];
        Bars bars;
        for (int i = 0; i < n; ++i)
            bars.append(all.open.at(i), all.high.at(i), all.low.at(i), all.close.at(i));

        const double full = bestSeconds(5, [&] {
            Outputs out;
            out.extend(bars);
            sink = sink + out.maValues.last();
        });

        // One new bar on top of n loaded bars, taken back after each round so n stays n.
        Outputs loaded;
        loaded.extend(bars);
        constexpr int Rounds = 2000;
        const double perBar = bestSeconds(5, [&] {
            for (int r = 0; r < Rounds; ++r) {
                bars.append(all.open.at(n), all.high.at(n), all.low.at(n), all.close.at(n));
                loaded.extend(bars);
                loaded.removeLast();
                bars.removeLast();
            }
        }) / Rounds;
        newBar[s] = perBar;
        std::printf("%6d bars: one new bar %.3f us, full pass %.3f ms\n", n, perBar * 1e6, full * 1e3);
        std::printf("RATIO new_bar_vs_full_pass_%dk: %.6f\n", n / 1000, perBar / full);
    }
    std::printf("RATIO new_bar_10k_vs_1k: %.3f\n", newBar[1] / newBar[0]);
    std::printf("RATIO new_bar_100k_vs_1k: %.3f\n", newBar[2] / newBar[0]);

    Bars bars;
    for (int i = 0; i < 100000; ++i)
        bars.append(all.open.at(i), all.high.at(i), all.low.at(i), all.close.at(i));
    const double walk = bestSeconds(5, [&] {
        double sum = 0.0;
        for (int i = 0; i < bars.keys.size(); ++i)
            sum += bars.open.at(i) + bars.high.at(i) + bars.low.at(i) + bars.close.at(i);
        sink = sink + sum;
    });
    const double reload = bestSeconds(5, [&] {
        Outputs out;
        out.extend(bars);
        sink = sink + out.maValues.last();
    });
    std::printf("full reload of all six over 100k bars: %.3f ms (plain walk over the bars %.3f ms)\n",
                reload * 1e3, walk * 1e3);
    std::printf("RATIO full_reload_100k_vs_plain_walk: %.1f\n", reload / walk);
    return 0;
}
