// The chart windows' arithmetic on its own: which bar a tick goes to and when that bar starts,
// how far back history is asked for, and the bar-time axis marks (also as a window of a given
// width draws them).
#include "chartbars.h"
#include "chartwithbars.h"
#include "mydatetimeticker.h"
#include "testmain.h"

#include <limits>

namespace {

qint64 local(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::LocalTime).toSecsSinceEpoch();
}

constexpr qint64 H1Bar = 1700002800; // a whole hour
const QString Late = QStringLiteral("late"), Same = QStringLiteral("same"), New = QStringLiteral("new");

QString placeName(ChartBars::TickPlace place)
{
    return place == ChartBars::TickPlace::Late ? Late : place == ChartBars::TickPlace::SameBar ? Same : New;
}

} // namespace

class TestChartData : public QObject
{
    Q_OBJECT

private slots:
    // A tick against the forming bar, and where the bar it opens starts.
    void tickPlace_data()
    {
        QTest::addColumn<qint64>("barTime");
        QTest::addColumn<qint64>("tickTime");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("place");
        QTest::addColumn<qint64>("start");
        QTest::newRow("H1 same hour") << H1Bar << H1Bar + 3599 << 60 << Same << H1Bar;
        QTest::newRow("H1 next hour, timed at its start") << H1Bar << H1Bar + 3600 + 17 << 60 << New << H1Bar + 3600;
        QTest::newRow("H1 earlier hour") << H1Bar << H1Bar - 1 << 60 << Late << H1Bar - 3600;
        // A bar timed by its first tick (an older cache) still holds the rest of its hour.
        QTest::newRow("H1 bar timed off its start") << H1Bar + 1234 << H1Bar + 10 << 60 << Same << H1Bar;
        QTest::newRow("MN same month") << local(2026, 3, 1) << local(2026, 3, 31, 23, 59) << 40000 << Same
                                       << local(2026, 3, 1);
        QTest::newRow("MN next month") << local(2026, 3, 1) << local(2026, 4, 2, 10) << 40000 << New << local(2026, 4, 1);
        QTest::newRow("MN same month next year") << local(2026, 3, 1) << local(2027, 3, 5) << 40000 << New
                                                 << local(2027, 3, 1);
        QTest::newRow("MN December to January") << local(2026, 12, 1) << local(2027, 1, 1, 0, 1) << 40000 << New
                                                << local(2027, 1, 1);
        QTest::newRow("MN same month a year before") << local(2026, 3, 1) << local(2025, 3, 20) << 40000 << Late
                                                     << local(2025, 3, 1);
        QTest::newRow("43200 is monthly") << local(2026, 3, 1) << local(2026, 3, 9) << 43200 << Same << local(2026, 3, 1);
        // A period from a workspace line that no 32-bit product holds.
        QTest::newRow("period past 32 bits") << qint64(0) << H1Bar << 39999 << New << H1Bar / (39999 * 60LL) * 39999 * 60;
        QTest::newRow("period 0 counts as 1") << H1Bar << H1Bar + 59 << 0 << Same << H1Bar;
    }
    void tickPlace()
    {
        QFETCH(qint64, barTime);
        QFETCH(qint64, tickTime);
        QFETCH(int, period);
        QFETCH(QString, place);
        QCOMPARE(placeName(ChartBars::placeTick(barTime, tickTime, period)), place);
        QTEST(ChartBars::periodStart(tickTime, period), "start");
    }

    void historyStart_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<qint64>("start");
        QTest::newRow("H1") << 60 << H1Bar - 60 * 120000LL;
        QTest::newRow("W1") << 10080 << H1Bar - 10080 * 120000LL;
        // 39999 x 120000 does not fit 32 bits; the start is never before the epoch.
        QTest::newRow("39999") << 39999 << qint64(0);
        QTest::newRow("MN") << 40000 << qint64(0);
    }
    void historyStart()
    {
        QFETCH(int, period);
        QTEST(ChartBars::historyStart(H1Bar, period), "start");
    }

    // Marks of the bar axis over a view of `bars` bars, at the axis's own step unless one is given,
    // planned for ten marks. With a width, the marks of a chart window that wide: no two labels
    // touch, and the last bar in view is labelled.
    void tickerMarks_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("marks"); // more than 12 as "count: first last"
        // Ten marks fit 5.04 bars apart: a step of 5 would bring them closer.
        QTest::newRow("last 50 of 500") << 500 << 450.3 << 500.7 << 0.0 << 0 << "450 460 470 480 490 499";
        // 498 would touch the last bar's label.
        QTest::newRow("from the lower bound") << 500 << 453.0 << 503.0 << 0.0 << 0 << "453 458 463 468 473 478 483 488 493 499";
        QTest::newRow("left of bar 0") << 30 << -10.0 << 40.0 << 0.0 << 0 << "0 5 10 15 20 29";
        QTest::newRow("wholly left") << 30 << -10.0 << -2.0 << 0.0 << 0 << "-2";
        QTest::newRow("five bars") << 30 << 10.2 << 15.2 << 0.0 << 0 << "10 10.5 11 11.5 12 12.5 13 13.5 14 14.5 15";
        QTest::newRow("no bars") << 0 << 0.0 << 50.0 << 0.0 << 0 << "";
        QTest::newRow("cap on marks") << 5000 << 0.0 << 4999.0 << 1e-9 << 0 << "1000: 0 4999";
        for (int width : {200, 380, 800, 1600})
            QTest::addRow("chart %d px wide", width) << 500 << 452.0 << 500.5 << 0.0 << width << "apart, last 499 labelled";
    }
    void tickerMarks()
    {
        QFETCH(int, bars);
        QFETCH(double, step);
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(int, width);
        if (width > 0) {
            SymbolChartWidget chart(nullptr, "EURUSD", 60);
            chart.setCandleStickData(corvane_test::hourBars(bars));
            chart.show();
            QVERIFY(QTest::qWaitForWindowExposed(&chart));
            chart.xAxis->setRange(lower, upper);
            chart.replot();
            chart.resize(width, 400); // as tiling does: the plot's own redraw must fit the new width
            const QVector<double> ticks = chart.xAxis->tickVector();
            const QVector<QString> labels = chart.xAxis->tickVectorLabels();
            const QFontMetrics metrics(chart.xAxis->tickLabelFont());
            const auto edge = [&](int i, int side) {
                const int labelWidth = metrics.boundingRect(QRect(), Qt::TextDontClip | Qt::AlignHCenter, labels.at(i)).width();
                return chart.xAxis->coordToPixel(ticks.at(i)) + side * labelWidth / 2.0;
            };
            QString apart = QStringLiteral("apart");
            for (int i = 1; i < ticks.size(); ++i) {
                if (edge(i, -1) - edge(i - 1, 1) < 2)
                    apart = QStringLiteral("%1 touches %2").arg(ticks.at(i - 1)).arg(ticks.at(i));
            }
            QVERIFY(!ticks.isEmpty());
            const QString lastBar = QDateTime::fromSecsSinceEpoch(corvane_test::H1Bar, Qt::LocalTime).toString("dd MMM\nHH:mm");
            const QString last = labels.last() == lastBar ? QStringLiteral("labelled") : labels.last();
            QTEST(QStringLiteral("%1, last %2 %3").arg(apart).arg(ticks.last()).arg(last), "marks");
            return;
        }
        MyDateTimeTicker ticker;
        for (int i = 0; i < bars; ++i)
            ticker.addTimestamp(H1Bar + i * 3600.0);
        const QCPRange range(lower, upper);
        const QVector<double> ticks = ticker.createTickVector(step > 0 ? step : ticker.getTickStep(range), range);
        QStringList marks;
        for (double mark : ticks)
            marks << QString::number(mark);
        if (marks.size() > 12)
            marks = QStringList{QStringLiteral("%1:").arg(marks.size()), marks.first(), marks.last()};
        QTEST(marks.join(' '), "marks");
    }

    void tickerLabels_data()
    {
        QTest::addColumn<double>("tick");
        QTest::addColumn<QString>("label");
        const QString bar2 = QDateTime::fromSecsSinceEpoch(H1Bar + 7200, Qt::LocalTime).toString("dd MMM\nHH:mm");
        QTest::newRow("bar 2") << 2.0 << bar2;
        QTest::newRow("past the last bar") << 4.0 << "";
        QTest::newRow("far off") << 1e300 << "";
        // A reply's "datetime" of 2^63 - 1: the time stops at what a date can hold.
        QTest::newRow("bar time 2^63") << 3.0 << QDateTime::fromSecsSinceEpoch(9223372036854775, Qt::LocalTime).toString("dd MMM\nHH:mm");
    }
    void tickerLabels()
    {
        MyDateTimeTicker ticker;
        ticker.setDateTimeFormat("dd MMM\nHH:mm");
        for (int i = 0; i < 3; ++i)
            ticker.addTimestamp(H1Bar + i * 3600.0);
        ticker.addTimestamp(double(std::numeric_limits<qint64>::max()));
        QFETCH(double, tick);
        QTEST(ticker.getTickLabel(tick, QLocale(), 'g', 0), "label");
    }

};

CORVANE_TEST_GUI_MAIN(TestChartData)
#include "tst_chartdata.moc"
