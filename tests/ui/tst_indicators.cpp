// The indicator arithmetic on its own: worked values for each indicator, how many points a number
// of bars gives, bar-by-bar extension against one full pass, zero prices, and the pane bounds.
#include "indicators.h"
#include "testmain.h"

#include <QRandomGenerator>
#include <cmath>
#include <functional>

using namespace Indicators;

namespace {

struct Bars
{
    QVector<double> keys, open, high, low, close;

    void append(double o, double h, double l, double c)
    {
        keys.append(keys.size());
        open.append(o);
        high.append(h);
        low.append(l);
        close.append(c);
    }
    // Bars whose four prices are all the close.
    static Bars ofCloses(const QVector<double> &closes)
    {
        Bars bars;
        for (double c : closes)
            bars.append(c, c, c, c);
        return bars;
    }
    Bars first(int count) const
    {
        Bars part;
        for (int i = 0; i < count; ++i)
            part.append(open.at(i), high.at(i), low.at(i), close.at(i));
        return part;
    }
};

// Every series of the six indicators under one name each, with the chart's parameters.
struct Outputs
{
    Series ma, cci, momentum;
    SeriesMap adx, bollinger, macd;

    void extend(const Bars &b)
    {
        movingAverage(ma.first, ma.second, b.keys, b.open, b.high, b.low, b.close,
                      MovingAveragePeriod, QStringLiteral("Simple"), 0);
        calcCCI(cci.first, cci.second, b.keys, b.open, b.high, b.low, b.close, CciPeriod, CciPrice);
        calcMomentum(momentum.first, momentum.second, b.keys, b.open, b.high, b.low, b.close,
                     MomentumPeriod, 0);
        calcADX(adx, b.keys, b.open, b.high, b.low, b.close, AdxPeriod);
        calcBollinger(bollinger, b.keys, b.close, BollingerPeriod, BollingerWidth);
        calcMACD(macd, b.keys, b.open, b.high, b.low, b.close, MacdFast, MacdSlow, MacdSignal, 0);
    }
    QMap<QString, Series> all() const
    {
        QMap<QString, Series> series{{"ma", ma}, {"cci", cci}, {"momentum", momentum}};
        for (const SeriesMap *store : {&adx, &bollinger, &macd})
            for (auto it = store->cbegin(); it != store->cend(); ++it)
                series.insert(it.key(), it.value());
        return series;
    }
};

QVector<double> oneToN(int n)
{
    QVector<double> values;
    for (int i = 1; i <= n; ++i)
        values.append(i);
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
    void appliedPriceByKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("expected");
        // open 1, high 4, low 0.5, close 2
        QTest::newRow("0 close") << 0 << 2.0;
        QTest::newRow("1 open") << 1 << 1.0;
        QTest::newRow("2 high") << 2 << 4.0;
        QTest::newRow("3 low") << 3 << 0.5;
        QTest::newRow("4 median") << 4 << 2.25;
        QTest::newRow("5 typical") << 5 << 6.5 / 3;
        QTest::newRow("6 weighted close") << 6 << 2.125;
        QTest::newRow("7 unknown reads the close") << 7 << 2.0;
        QTest::newRow("-1 unknown reads the close") << -1 << 2.0;
    }
    void appliedPriceByKind()
    {
        QFETCH(int, kind);
        QFETCH(double, expected);
        QCOMPARE(appliedPrice({9, 1}, {9, 4}, {9, 0.5}, {9, 2}, 1, kind), expected);
    }

    void emaStepTruncates_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("prev");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("20.93 is stored as 20") << 14 << 20.0 << 27.0 << 20.0;
        QTest::newRow("21.07 is stored as 21") << 14 << 20.0 << 28.0 << 21.0;
        QTest::newRow("a value below the previous one drops a whole unit") << 14 << 20.0 << 19.99 << 19.0;
        QTest::newRow("23.9 gives 23") << 1 << 0.0 << 23.9 << 23.0;
        QTest::newRow("-0.5 gives 0, toward zero") << 1 << 0.0 << -0.5 << 0.0;
        QTest::newRow("-1.5 gives -1") << 1 << 0.0 << -1.5 << -1.0;
        QTest::newRow("period 0 gives 0") << 0 << 20.0 << 28.0 << 0.0;
        QTest::newRow("past the int range stops at its end") << 1 << 0.0 << 1e300
                                                             << double(std::numeric_limits<int>::max());
        QTest::newRow("a NaN gives 0") << 1 << 0.0 << std::nan("") << 0.0;
    }
    void emaStepTruncates()
    {
        QFETCH(int, n);
        QFETCH(double, prev);
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(emaStep(n, prev, value), expected);
    }

    // How many points N bars give: four indicators wait for the bar after, Momentum and ADX for
    // their period.
    void pointCounts_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<QVector<int>>("counts"); // ma, cci, momentum, adx, bollinger, macd
        QTest::newRow("no bar") << 0 << QVector<int>{0, 0, 0, 0, 0, 0};
        QTest::newRow("one bar: only the bands") << 1 << QVector<int>{0, 0, 0, 0, 1, 0};
        QTest::newRow("two bars") << 2 << QVector<int>{1, 1, 0, 0, 2, 1};
        QTest::newRow("13 bars: no ADX yet") << 13 << QVector<int>{12, 12, 0, 0, 13, 12};
        QTest::newRow("14 bars: ADX seed and bars 1 to 13") << 14 << QVector<int>{13, 13, 0, 14, 14, 13};
        QTest::newRow("15 bars: no Momentum yet") << 15 << QVector<int>{14, 14, 0, 15, 15, 14};
        QTest::newRow("16 bars: Momentum of bar 14") << 16 << QVector<int>{15, 15, 1, 16, 16, 15};
        QTest::newRow("20 bars") << 20 << QVector<int>{19, 19, 5, 20, 20, 19};
    }
    void pointCounts()
    {
        QFETCH(int, bars);
        QFETCH(QVector<int>, counts);
        Outputs out;
        out.extend(randomBars(bars, 7));
        const QVector<int> got{out.ma.first.size(),
                               out.cci.first.size(),
                               out.momentum.first.size(),
                               out.adx.value("adx").first.size(),
                               out.bollinger.value("ml").first.size(),
                               out.macd.value("fastEMA").first.size()};
        QCOMPARE(got, counts);
        // Each store keeps its series at one length, key for key.
        for (const SeriesMap *store : {&out.adx, &out.bollinger, &out.macd})
            for (const Series &s : *store)
                QCOMPARE(s.first, store->first().first);
    }

    // Closes 1, 2, ..., 20: a window of bar i holds i + 1 closes while it is short, so the mean
    // is (i + 2) / 2; a full window of 10 ending at close i + 1 has the mean i - 3.5.
    void movingAverageValues_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("bar");
        QTest::addColumn<double>("expected");
        QTest::newRow("10, bar 0 alone") << 10 << 0 << 1.0;
        QTest::newRow("10, bars 0-1") << 10 << 1 << 1.5;
        QTest::newRow("10, bar 8 short window") << 10 << 8 << 5.0;
        QTest::newRow("10, bar 9 first full window") << 10 << 9 << 5.5;
        QTest::newRow("10, bar 18 last point") << 10 << 18 << 14.5;
        QTest::newRow("20, bar 18 still short") << 20 << 18 << 10.0;
    }
    void movingAverageValues()
    {
        QFETCH(int, period);
        QFETCH(int, bar);
        QFETCH(double, expected);
        const Bars b = Bars::ofCloses(oneToN(20));
        Series ma;
        movingAverage(ma.first, ma.second, b.keys, b.open, b.high, b.low, b.close, period,
                      QStringLiteral("Simple"), 0);
        QCOMPARE(ma.first.size(), 19); // bar 19 is still forming
        QCOMPARE(ma.first.at(bar), double(bar));
        QCOMPARE(ma.second.at(bar), expected);
    }

    // Closes 1, 2, 3, ...: point j is bar j + 14, close (j + 15) * 100 / close (j + 1).
    void momentumValues_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<QVector<double>>("keys");
        QTest::addColumn<QVector<double>>("values");
        QTest::newRow("15 bars") << 15 << QVector<double>{} << QVector<double>{};
        QTest::newRow("16 bars") << 16 << QVector<double>{14} << QVector<double>{1500};
        QTest::newRow("17 bars") << 17 << QVector<double>{14, 15} << QVector<double>{1500, 800};
    }
    void momentumValues()
    {
        QFETCH(int, bars);
        QFETCH(QVector<double>, keys);
        QFETCH(QVector<double>, values);
        const Bars all = Bars::ofCloses(oneToN(bars));
        Series m;
        // Bar by bar, as live bars arrive: never a second point for a bar that has one.
        for (int n = 0; n <= bars; ++n) {
            const Bars b = all.first(n);
            calcMomentum(m.first, m.second, b.keys, b.open, b.high, b.low, b.close, 14, 0);
        }
        QCOMPARE(m.first, keys);
        QCOMPARE(m.second, values);
    }

    // Worked by hand from the smoothing rule; bar 7 moves up and down alike (no movement counts),
    // bar 12 has high and low at the previous close (no range).
    void adxValues_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<QVector<double>>("adx");
        QTest::addColumn<QVector<double>>("pdi");
        QTest::addColumn<QVector<double>>("mdi");
        QTest::newRow("13 bars: nothing") << 13 << QVector<double>{} << QVector<double>{} << QVector<double>{};
        QTest::newRow("14 bars") << 14
                                 << QVector<double>{0, 13, 24, 34, 37, 35, 32, 29, 27, 28, 27, 24, 21, 20}
                                 << QVector<double>{0, 8, 18, 27, 23, 19, 16, 13, 23, 31, 26, 22, 19, 29}
                                 << QVector<double>{0, 0, 0, 0, 6, 12, 21, 18, 15, 13, 17, 26, 22, 19};
    }
    void adxValues()
    {
        QFETCH(int, bars);
        QFETCH(QVector<double>, adx);
        QFETCH(QVector<double>, pdi);
        QFETCH(QVector<double>, mdi);
        const QVector<double> h{10, 11, 12, 13, 12.5, 12, 11, 11.5, 12.5, 13.5, 13, 12, 11.2, 12.4};
        const QVector<double> l{9, 10, 11, 12, 11.5, 10.8, 10, 9.5, 11.5, 12.5, 12, 11, 11.2, 11.6};
        const QVector<double> c{9.5, 10.8, 11.9, 12.2, 11.7, 11, 10.2, 11.4, 12.3, 13.0, 12.1, 11.2, 11.2, 12.1};
        Bars b;
        for (int i = 0; i < bars; ++i)
            b.append(c.at(i), h.at(i), l.at(i), c.at(i));
        SeriesMap store;
        calcADX(store, b.keys, b.open, b.high, b.low, b.close, 14);
        QCOMPARE(store.value("adx").second, adx);
        QCOMPARE(store.value("pdi").second, pdi);
        QCOMPARE(store.value("mdi").second, mdi);
        QVector<double> keys;
        for (int i = 0; i < adx.size(); ++i)
            keys.append(i);
        QCOMPARE(store.value("adx").first, keys); // the seed sits at key 0
    }

    // Bars 0 to 11 average the same closes in both lines, so MACD and signal are 0; at bar 12,
    // with m the mean of closes 0 to 11, MACD is (close[12] - m) / 13 and the signal 0.2 of it.
    void macdValues_data()
    {
        QTest::addColumn<int>("bar");
        QTest::addColumn<double>("macd");
        QTest::addColumn<double>("signal");
        // closes 1..12 (m = 6.5), then 20, then 21
        QTest::newRow("bar 0") << 0 << 0.0 << 0.0;
        QTest::newRow("bar 11") << 11 << 0.0 << 0.0;
        QTest::newRow("bar 12") << 12 << 13.5 / 13 << 0.2 * 13.5 / 13;
    }
    void macdValues()
    {
        QFETCH(int, bar);
        QFETCH(double, macd);
        QFETCH(double, signal);
        QVector<double> closes = oneToN(12);
        closes << 20 << 21;
        const Bars b = Bars::ofCloses(closes);
        SeriesMap store;
        calcMACD(store, b.keys, b.open, b.high, b.low, b.close, 12, 26, 9, 0);
        QCOMPARE(store.value("MACD").first.size(), 13);
        QVERIFY2(std::fabs(store.value("MACD").second.at(bar) - macd) < 1e-12,
                 qPrintable(QString::number(store.value("MACD").second.at(bar), 'g', 17)));
        QVERIFY(std::fabs(store.value("signal").second.at(bar) - signal) < 1e-12);
    }

    void bandsAndCci_data()
    {
        QTest::addColumn<QVector<double>>("closes");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QVector<double>>("bands"); // middle, top, bottom
        QTest::addColumn<double>("cci");            // period 3, close
        // Closes 2 4 4 4 5 5 7 9: mean 5, population deviation 2 (not 2.14 of count - 1).
        QTest::newRow("population deviation") << QVector<double>{2, 4, 4, 4, 5, 5, 7, 9, 1} << 7
                                              << QVector<double>{5, 9, 1} << (9 - 7.0) / (4.0 * 0.005);
        QTest::newRow("one bar: all three at the close") << QVector<double>{3, 1} << 0
                                                         << QVector<double>{3, 3, 3} << 0.0;
        // Window 1 2 3 around 2: deviations 1 0 1, scaled by 0.015 / 3 gives 0.01; (3 - 2) / 0.01.
        QTest::newRow("short window of the CCI") << QVector<double>{1, 2, 3, 0} << 2
                                                 << QVector<double>{2, 2 + 2 * std::sqrt(2.0 / 3), 2 - 2 * std::sqrt(2.0 / 3)}
                                                 << 100.0;
        QTest::newRow("flat prices: CCI 0, bands closed") << QVector<double>{5, 5, 5, 5} << 2
                                                          << QVector<double>{5, 5, 5} << 0.0;
    }
    void bandsAndCci()
    {
        QFETCH(QVector<double>, closes);
        QFETCH(int, bar);
        QFETCH(QVector<double>, bands);
        QFETCH(double, cci);
        const Bars b = Bars::ofCloses(closes);
        SeriesMap store;
        calcBollinger(store, b.keys, b.close, 20, 2);
        const QVector<double> got{store.value("ml").second.at(bar), store.value("tl").second.at(bar),
                                  store.value("bl").second.at(bar)};
        for (int i = 0; i < 3; ++i)
            QVERIFY2(std::fabs(got.at(i) - bands.at(i)) < 1e-12, qPrintable(QString::number(got.at(i))));
        Series c;
        calcCCI(c.first, c.second, b.keys, b.open, b.high, b.low, b.close, 3, 0);
        QVERIFY2(std::fabs(c.second.at(bar) - cci) < 1e-9, qPrintable(QString::number(c.second.at(bar))));
    }

    // Live bars extend each series by their own points only: 2,000 bars added one at a time give
    // exactly what one pass over all of them gives.
    void extensionEqualsFullPass_data()
    {
        QTest::addColumn<QString>("series");
        for (const char *name : {"ma", "cci", "momentum", "adx", "pdi", "mdi", "ml", "tl", "bl",
                                 "fastEMA", "slowEMA", "MACD", "signal"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void extensionEqualsFullPass()
    {
        QFETCH(QString, series);
        const Bars all = randomBars(2000, 42);
        Outputs full;
        full.extend(all);
        Outputs live;
        Bars growing;
        for (int i = 0; i < all.keys.size(); ++i) {
            growing.append(all.open.at(i), all.high.at(i), all.low.at(i), all.close.at(i));
            live.extend(growing);
        }
        const Series expected = full.all().value(series);
        const Series got = live.all().value(series);
        QVERIFY(expected.first.size() > 1900);
        QCOMPARE(got.first, expected.first);
        QCOMPARE(got.second, expected.second);
    }

    // A missing price reads as 0; no series may then carry an infinity or a NaN.
    void zeroPricesGiveNoInfinity_data()
    {
        QTest::addColumn<int>("zeroBar");
        QTest::addColumn<int>("momentumPoint"); // the point whose base is the zero close, -1: none
        QTest::newRow("first bar") << 0 << 0;
        QTest::newRow("a middle bar") << 10 << 10;
        QTest::newRow("the forming bar") << 39 << -1;
        QTest::newRow("every bar") << -1 << 0;
    }
    void zeroPricesGiveNoInfinity()
    {
        QFETCH(int, zeroBar);
        QFETCH(int, momentumPoint);
        Bars b = randomBars(40, 3);
        for (int i = 0; i < b.keys.size(); ++i)
            if (i == zeroBar || zeroBar == -1)
                b.open[i] = b.high[i] = b.low[i] = b.close[i] = 0.0;
        Outputs out;
        out.extend(b);
        if (momentumPoint >= 0)
            QCOMPARE(out.momentum.second.at(momentumPoint), 0.0);
        const auto series = out.all();
        for (auto it = series.cbegin(); it != series.cend(); ++it)
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
        QTest::newRow("Momentum before its first bar") << 0 << 14 << "momentum" << 0.0 << 0.0;
        QTest::newRow("all-negative MACD keeps its own top") << 0 << 3 << "macd" << -3.0 << -1.0;
        QTest::newRow("MACD counts the signal, not the bars") << 3 << 1 << "macd" << 0.0 << 0.0;
        QTest::newRow("ADX spans its three lines") << 1 << 1 << "adx" << 5.0 << 30.0;
        QTest::newRow("all-negative CCI") << 0 << 2 << "cci" << -150.0 << -20.0;
        QTest::newRow("view past the data") << 100 << 5 << "ma" << 0.0 << 0.0;
        QTest::newRow("Moving Average") << 0 << 2 << "ma" << 1.5 << 2.5;
    }
    void paneBoundsInView()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(QString, pane);
        QFETCH(double, lower);
        QFETCH(double, upper);
        SeriesMap adx{{"adx", {{0, 1}, {0, 20}}}, {"pdi", {{0, 1}, {0, 30}}}, {"mdi", {{0, 1}, {0, 5}}}};
        SeriesMap macd{{"MACD", {{0, 1, 2, 3}, {-9, -9, -9, 50}}}, {"signal", {{0, 1, 2, 3}, {-3, -2, -1, 7}}}};
        const PaneBounds b = paneBounds(adx, {-150, -20}, macd, {100, 200, 300}, {1.5, 2.5}, first, count, 14);
        const QMap<QString, ValueBounds> panes{{"adx", b.adx}, {"cci", b.cci}, {"macd", b.macd},
                                               {"momentum", b.momentum}, {"ma", b.movingAverage}};
        const ValueBounds got = panes.value(pane);
        if (lower == upper && lower == 0.0) { // nothing collected: the axis keeps its range
            QVERIFY(!got.usable());
            if (pane == "macd")
                QCOMPARE(got.upper, 7.0); // one value alone is no range either
            return;
        }
        QVERIFY(got.usable());
        QCOMPARE(got.lower, lower);
        QCOMPARE(got.upper, upper);
    }
};

CORVANE_TEST_GUI_MAIN(TestIndicators)
#include "tst_indicators.moc"
