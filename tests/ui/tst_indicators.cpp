// The indicator arithmetic on its own: worked values for each indicator, in one pass and bar by
// bar, bar-by-bar extension against one pass over a long random series, zero prices, and the
// value bounds of the panes.
#include "barseries.h"
#include "indicators.h"
#include "testmain.h"

#include <cmath>
#include <numeric>

using namespace Indicators;

namespace {

// Every series of the six indicators under one name each, with the chart's parameters.
struct Outputs : SeriesMap
{
    void extend(const Bars &b)
    {
        Series &ma = (*this)["ma10"], &cci = (*this)["cci"], &momentum = (*this)["momentum"];
        movingAverage(ma.first, ma.second, b.keys, b.open, b.high, b.low, b.close, MovingAveragePeriod, "Simple", 0);
        calcCCI(cci.first, cci.second, b.keys, b.open, b.high, b.low, b.close, CciPeriod, CciPrice);
        calcMomentum(momentum.first, momentum.second, b.keys, b.open, b.high, b.low, b.close, MomentumPeriod, 0);
        calcADX(*this, b.keys, b.open, b.high, b.low, b.close, AdxPeriod);
        calcBollinger(*this, b.keys, b.close, BollingerPeriod, BollingerWidth);
        calcMACD(*this, b.keys, b.open, b.high, b.low, b.close, MacdFast, MacdSlow, MacdSignal, 0);
    }
};

QVector<double> oneToN(int n)
{
    QVector<double> values(n);
    std::iota(values.begin(), values.end(), 1.0);
    return values;
}

Bars randomBars(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    Bars bars;
    double close = 1.1;
    for (int i = 0; i < count; ++i) {
        const double open = close;
        close = std::max(0.01, open + (random.generateDouble() - 0.5) * 0.01);
        const double high = std::max(open, close) + random.generateDouble() * 0.003;
        const double low = std::min(open, close) - random.generateDouble() * 0.003;
        bars.append(open, high, low, close);
    }
    return bars;
}

} // namespace

class TestIndicators : public QObject
{
    Q_OBJECT

private slots:
    void emaStepTruncates_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("prev");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("20.93 is stored as 20") << 14 << 20.0 << 27.0 << 20.0;
        QTest::newRow("21.07 is stored as 21") << 14 << 20.0 << 28.0 << 21.0;
        QTest::newRow("-0.5 gives 0, toward zero") << 1 << 0.0 << -0.5 << 0.0;
        QTest::newRow("period 0 gives 0") << 0 << 20.0 << 28.0 << 0.0;
        QTest::newRow("past the int range stops at its end") << 1 << 0.0 << 1e300 << double(INT_MAX);
        QTest::newRow("a NaN gives 0") << 1 << 0.0 << std::nan("") << 0.0;
    }
    void emaStepTruncates()
    {
        QFETCH(int, n);
        QFETCH(double, prev);
        QFETCH(double, value);
        QTEST(emaStep(n, prev, value), "expected");
    }

    // Series over bars whose prices are all the close, worked out by hand, in one pass and with
    // the bars added one at a time (live bars extend each series by their own points only). The
    // last bar is the forming one: only the Bollinger bands give it a point.
    void workedValues_data()
    {
        QTest::addColumn<QString>("series");
        QTest::addColumn<QVector<double>>("closes");
        QTest::addColumn<double>("firstKey");
        QTest::addColumn<QVector<double>>("values");
        // A short window of bar i has the mean (i + 2) / 2, a full one i - 3.5.
        QTest::newRow("Moving Average 10") << "ma10" << oneToN(13) << 0.0 << QVector<double>{1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 5.5, 6.5, 7.5};
        // Point j is bar j + 14: close 15 * 100 / close 1, then 16 * 100 / 2.
        QTest::newRow("Momentum, 15 bars") << "momentum" << oneToN(15) << 0.0 << QVector<double>{};
        QTest::newRow("Momentum, 17 bars") << "momentum" << oneToN(17) << 14.0 << QVector<double>{1500, 800};
        // Bars 0-11 average the same closes in both lines; at bar 12, with m = 6.5 the mean of
        // closes 0-11, MACD is (close 12 - m) / 13 and the signal 0.2 of it.
        QTest::newRow("MACD at bar 12") << "MACD" << (oneToN(12) << 20 << 21) << 0.0 << (QVector<double>(12, 0.0) << 13.5 / 13);
        QTest::newRow("first signal value") << "signal" << (oneToN(12) << 20 << 21) << 0.0 << (QVector<double>(12, 0.0) << 0.2 * 13.5 / 13);
        // 2 4 4 4 5 5 7 9 (mean 5, population deviation 2, not 2.14 with count - 1); the mean
        // plus twice the deviation of closes 0 to i, worked for each i.
        QTest::newRow("Bollinger top, population deviation")
            << "tl" << QVector<double>{2, 4, 4, 4, 5, 5, 7, 9} << 0.0
            << QVector<double>{2, 5, 10.0 / 3 + 2 * std::sqrt(8.0 / 9), 3.5 + 2 * std::sqrt(0.75),
                               3.8 + 2 * std::sqrt(0.96), 6, 31.0 / 7 + 2 * std::sqrt(96.0 / 49), 9};
        QTest::newRow("Bollinger middle") << "ml" << QVector<double>{2, 4, 4, 4, 5, 5, 7, 9} << 0.0
                                          << QVector<double>{2, 3, 10.0 / 3, 3.5, 3.8, 4, 31.0 / 7, 5};
        QTest::newRow("Bollinger bottom")
            << "bl" << QVector<double>{2, 4, 4, 4, 5, 5, 7, 9} << 0.0
            << QVector<double>{2, 1, 10.0 / 3 - 2 * std::sqrt(8.0 / 9), 3.5 - 2 * std::sqrt(0.75),
                               3.8 - 2 * std::sqrt(0.96), 2, 31.0 / 7 - 2 * std::sqrt(96.0 / 49), 1};
        // Period 3: window 1 2 3 around 2, deviations 1 0 1 scaled by 0.015 / 3: (3 - 2) / 0.01.
        QTest::newRow("CCI, short window, flat start") << "cci3" << QVector<double>{2, 2, 3, 0} << 0.0 << QVector<double>{0, 0, 100};
    }
    void workedValues()
    {
        QFETCH(QString, series);
        QFETCH(QVector<double>, closes);
        QFETCH(double, firstKey);
        QFETCH(QVector<double>, values);
        const Bars all = Bars::ofCloses(closes);
        Outputs onePass, live;
        Series cciOnePass, cciLive;
        onePass.extend(all);
        calcCCI(cciOnePass.first, cciOnePass.second, all.keys, all.open, all.high, all.low, all.close, 3, CciPrice);
        Bars b;
        for (double c : closes) {
            b.append(c, c, c, c);
            live.extend(b);
            calcCCI(cciLive.first, cciLive.second, b.keys, b.open, b.high, b.low, b.close, 3, CciPrice);
        }
        const bool ownCci = series == "cci3";
        for (const Series &got : {ownCci ? cciOnePass : onePass.value(series), ownCci ? cciLive : live.value(series)}) {
            QCOMPARE(got.second.size(), values.size());
            for (int j = 0; j < values.size(); ++j)
                QCOMPARE(QPointF(got.first.at(j), got.second.at(j)), QPointF(firstKey + j, values.at(j)));
        }
    }

    // Worked by hand from the smoothing rule, seeded at key 0; bar 7 moves up and down alike (no
    // movement counts), bar 12 has high and low at the previous close (no range). 13 bars give nothing.
    void adxValues()
    {
        const QVector<double> h{10, 11, 12, 13, 12.5, 12, 11, 11.5, 12.5, 13.5, 13, 12, 11.2, 12.4};
        const QVector<double> l{9, 10, 11, 12, 11.5, 10.8, 10, 9.5, 11.5, 12.5, 12, 11, 11.2, 11.6};
        const QVector<double> c{9.5, 10.8, 11.9, 12.2, 11.7, 11, 10.2, 11.4, 12.3, 13.0, 12.1, 11.2, 11.2, 12.1};
        Bars b;
        SeriesMap store;
        for (int i = 0; i < 14; ++i) {
            QCOMPARE(store.value("adx").first.size(), 0);
            b.append(c.at(i), h.at(i), l.at(i), c.at(i));
            calcADX(store, b.keys, b.open, b.high, b.low, b.close, 14);
        }
        QCOMPARE(store.value("adx").first, b.keys);
        QCOMPARE(store.value("adx").second, (QVector<double>{0, 13, 24, 34, 37, 35, 32, 29, 27, 28, 27, 24, 21, 20}));
        QCOMPARE(store.value("pdi").second, (QVector<double>{0, 8, 18, 27, 23, 19, 16, 13, 23, 31, 26, 22, 19, 29}));
        QCOMPARE(store.value("mdi").second, (QVector<double>{0, 0, 0, 0, 6, 12, 21, 18, 15, 13, 17, 26, 22, 19}));
    }

    // Live bars extend each series by their own points only, past every period the worked rows
    // stop short of: 3,000 random bars added one at a time give what one pass over them gives,
    // for all 13 series at the chart's periods. The two paths may sum a window in another order
    // (afresh, or carried from bar to bar), which moves only the last bits: a carried Bollinger
    // sum parts from a fresh one by about 3e-15 of the series' largest value over these bars.
    // So 1e-12 of that value is allowed, where a window one bar off moves a point by percents.
    void extensionEqualsFullPass()
    {
        const Bars all = randomBars(3000, 42);
        Outputs full, live;
        full.extend(all);
        Bars growing;
        for (int i = 0; i < all.keys.size(); ++i) {
            growing.append(all.open.at(i), all.high.at(i), all.low.at(i), all.close.at(i));
            live.extend(growing);
        }
        QCOMPARE(QStringList(full.keys()).join(','), QStringLiteral("MACD,adx,bl,cci,fastEMA,ma10,mdi,ml,momentum,pdi,"
                                                                    "signal,slowEMA,tl"));
        for (auto it = full.cbegin(); it != full.cend(); ++it) {
            const Series &got = live.value(it.key()), &want = it.value();
            QVERIFY2(want.first.size() > 2900 && got.first == want.first && got.second.size() == want.second.size(),
                     qPrintable(it.key()));
            double scale = 0.0;
            for (double v : want.second)
                scale = std::max(scale, std::fabs(v));
            for (int j = 0; j < want.second.size(); ++j)
                QVERIFY2(std::fabs(got.second.at(j) - want.second.at(j)) <= 1e-12 * scale,
                         qPrintable(QStringLiteral("%1 at bar %2: %3 bar by bar, %4 in one pass")
                                        .arg(it.key()).arg(want.first.at(j)).arg(got.second.at(j), 0, 'g', 17)
                                        .arg(want.second.at(j), 0, 'g', 17)));
        }
    }

    // A missing price reads as 0; no series may then carry an infinity or a NaN.
    void zeroPricesGiveNoInfinity_data()
    {
        QTest::addColumn<int>("zeroBar"); // -1: every bar
        QTest::newRow("first bar") << 0;
        QTest::newRow("a middle bar") << 10;
        QTest::newRow("the forming bar") << 39;
        QTest::newRow("every bar") << -1;
    }
    void zeroPricesGiveNoInfinity()
    {
        QFETCH(int, zeroBar);
        Bars b = randomBars(40, 3);
        for (int i = 0; i < b.keys.size(); ++i)
            if (i == zeroBar || zeroBar == -1)
                b.open[i] = b.high[i] = b.low[i] = b.close[i] = 0.0;
        Outputs out;
        out.extend(b);
        if (zeroBar != 39) // the point whose base is the zero close
            QCOMPARE(out.value("momentum").second.at(qMax(zeroBar, 0)), 0.0);
        for (auto it = out.cbegin(); it != out.cend(); ++it)
            for (double v : it.value().second)
                QVERIFY2(std::isfinite(v), qPrintable(it.key()));
    }

    // The value range of each pane over the bars in view.
    void paneBoundsInView_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        // Momentum points 0, 1, 2 belong to bars 14, 15, 16.
        QTest::newRow("Momentum read at the bar's own point") << 15 << 2 << "momentum" << 200.0 << 300.0;
        QTest::newRow("all-negative MACD keeps its own top") << 0 << 3 << "macd" << -3.0 << -1.0;
        QTest::newRow("MACD counts the signal, not the bars") << 3 << 1 << "macd" << 7.0 << 7.0;
        QTest::newRow("ADX spans its three lines") << 1 << 1 << "adx" << 5.0 << 30.0;
        QTest::newRow("Moving Average") << 0 << 2 << "ma" << 1.5 << 2.5;
    }
    void paneBoundsInView()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(QString, pane);
        SeriesMap adx{{"adx", {{0, 1}, {0, 20}}}, {"pdi", {{0, 1}, {0, 30}}}, {"mdi", {{0, 1}, {0, 5}}}};
        SeriesMap macd{{"MACD", {{0, 1, 2, 3}, {-9, -9, -9, 50}}}, {"signal", {{0, 1, 2, 3}, {-3, -2, -1, 7}}}};
        const PaneBounds b = paneBounds(adx, {-150, -20}, macd, {100, 200, 300}, {1.5, 2.5}, first, count, 14);
        const ValueBounds got = QMap<QString, ValueBounds>{{"adx", b.adx}, {"macd", b.macd}, {"momentum", b.momentum},
                                                           {"ma", b.movingAverage}}.value(pane);
        QFETCH(double, lower);
        QFETCH(double, upper);
        // Nothing collected, or one value alone (the signal's 7): the axis keeps its range.
        QCOMPARE(got.usable(), lower != upper);
        QCOMPARE(QPointF(got.lower, got.upper), QPointF(lower, upper));
    }
};

CORVANE_TEST_GUI_MAIN(TestIndicators)
#include "tst_indicators.moc"
