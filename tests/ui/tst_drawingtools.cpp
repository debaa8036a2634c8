// The drawing tools on a chart window: what each mode leaves on the plot, snapping, dragging with
// the price tag, the end of every gesture, and lines at key 0 or price 0 that must still show in
// a grab of the chart.
#include "axistag.h"
#include "chartparts.h"
#include "drawingtools.h"
#include "livequote.h"
#include "symbolchartwidget.h"
#include "testmain.h"

namespace {

// A press holds its button, a move the left one, a release none.
void send(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? button : type == QEvent::MouseMove ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// Pixels of a 3-pixel band along a row (or a column) that are red, or the crosshair's grey.
int pixelsInBand(const QImage &image, int at, bool row, bool red)
{
    int count = 0;
    for (int i = 0; i < (row ? image.width() : image.height()); ++i)
        for (int d = -1; d <= 1; ++d) {
            const QColor c = image.pixelColor(row ? QPoint(i, qBound(0, at + d, image.height() - 1)) : QPoint(qBound(0, at + d, image.width() - 1), i));
            count += red ? c.red() > 180 && c.green() < 90 && c.blue() < 90 : qAbs(c.red() - c.green()) < 12 && c.red() > 120 && c.red() < 200;
        }
    return count;
}

} // namespace

class TestDrawingTools : public QObject
{
    Q_OBJECT

    std::unique_ptr<SymbolChartWidget> plot;
    int baseItems = 0; // the chart's own last-price tag

    int drawnItems() const { return plot->itemCount() - baseItems; }
    QPoint at(double key, double price) const { return QPointF(plot->xAxis->coordToPixel(key), plot->yAxis2->coordToPixel(price)).toPoint(); }
    // The price that a whole pixel row stands for is within this of the price asked for.
    double pricePerPixel() const { return plot->yAxis2->range().size() / plot->axisRect()->height(); }

private slots:
    // A chart without history, viewing keys 0 to 100 and prices 1 to 2, a last-price tag.
    void init()
    {
        plot = std::make_unique<SymbolChartWidget>(nullptr, QStringLiteral("EURUSD"), 60);
        plot->resize(800, 500);
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot.get()));
        plot->xAxis->setRange(0, 100);
        plot->yAxis2->setRange(1.0, 2.0);
        plot->onTick(liveQuote("EURUSD", 1700000000, 1.5));
        plot->replot();
        baseItems = plot->itemCount();
    }

    // One press and release, no move, in each mode: what stays on the plot, and that every
    // gesture ends with drawStateFinished and a running redraw timer. A second press while a
    // line is drawn is ignored and never reaches the plot; the first release of any button ends
    // the drawing. Another chart's release puts the mode back to 0 before this one's: the
    // crosshair goes all the same.
    void pressAndRelease_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("items"); // a tag is three items
        QTest::newRow("0 cursor") << 0 << 0;
        QTest::newRow("1 horizontal line and its tag") << 1 << 4;
        QTest::newRow("2 vertical line") << 2 << 1;
        QTest::newRow("3 crosshair goes with the release") << 3 << 0;
        QTest::newRow("4 trend line") << 4 << 1;
    }
    void pressAndRelease()
    {
        QFETCH(int, mode);
        QSignalSpy finished(plot.get(), &SymbolChartWidget::drawStateFinished);
        QSignalSpy plotPresses(plot.get(), &QCustomPlot::mousePress);
        plot->drawMode = mode;
        send(plot.get(), QEvent::MouseButtonPress, at(20.3, 1.25));
        QVERIFY(!ChartParts::redrawTimer(*plot)->isActive());
        send(plot.get(), QEvent::MouseButtonPress, at(60, 1.8), Qt::RightButton);
        QCOMPARE(plotPresses.count(), mode ? 0 : 2);
        plot->drawMode = 0;
        send(plot.get(), QEvent::MouseButtonRelease, at(60, 1.8), Qt::RightButton);
        QTEST(drawnItems(), "items");
        QVERIFY(finished.count() == 1 && !ChartParts::tools(*plot)->isDrawing());
        QVERIFY(ChartParts::redrawTimer(*plot)->isActive());
        if (auto *line = qobject_cast<QCPItemLine *>(plot->item(baseItems))) { // trend: one price unit up
            QCOMPARE(QPointF(line->start->key(), line->end->key()), QPointF(20, 20));
            QVERIFY(qAbs(line->start->value() - 1.25) <= pricePerPixel());
            QCOMPARE(line->end->value(), line->start->value() + 1.0);
        }
    }

    // A key even for coordinates no bar can have (the nearest bar's key: dragMovesTheLine).
    void snapKey_data()
    {
        QTest::addColumn<double>("coord");
        QTest::addColumn<int>("key");
        QTest::newRow("NaN") << qQNaN() << 0;
        QTest::newRow("1e300") << 1e300 << std::numeric_limits<int>::max();
        QTest::newRow("-1e300") << -1e300 << std::numeric_limits<int>::min();
    }
    void snapKey()
    {
        QFETCH(double, coord);
        QTEST(DrawingTools::snapKey(coord), "key");
    }

    // Dragging moves the line to the mouse, keys snapped to bars, and not the view; the release
    // itself moves nothing. The horizontal line's red tag follows with the price as text, its
    // digits clamped.
    void dragMovesTheLine_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("toKey");
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("price");
        QTest::addColumn<int>("digits");
        QTest::addColumn<int>("shown"); // the decimals of the horizontal line's tag
        QTest::newRow("vertical") << 2 << 10.6 << 11 << 1.5 << 3 << 0;
        QTest::newRow("horizontal with its tag") << 1 << 30.2 << 30 << 1.7 << 3 << 3;
        QTest::newRow("tag of 2e9 digits") << 1 << 30.2 << 30 << 1.7 << 2000000000 << 15;
        QTest::newRow("trend line end") << 4 << 40.6 << 41 << 1.9 << 3 << 0;
    }
    void dragMovesTheLine()
    {
        QFETCH(int, mode);
        QFETCH(double, price);
        QFETCH(int, digits);
        QSignalSpy viewMoves(plot.get(), &QCustomPlot::mouseMove);
        QVERIFY(ChartParts::tools(*plot)->press(at(5, 1.2), mode, digits));
        AxisTag *tag = ChartParts::tools(*plot)->drawingTag;
        QFETCH(double, toKey);
        send(plot.get(), QEvent::MouseMove, at(toKey, price));
        send(plot.get(), QEvent::MouseButtonRelease, at(90, 1.1));
        QCOMPARE(viewMoves.count(), 0);
        QCPAbstractItem *item = plot->item(baseItems);
        auto *straight = qobject_cast<QCPItemStraightLine *>(item);
        auto *trend = qobject_cast<QCPItemLine *>(item);
        QCPItemPosition *end = straight ? straight->point2 : trend->end;
        QTEST(int(end->key()), "key");
        QVERIFY(qAbs(end->value() - price) <= pricePerPixel());
        if (mode != 1) { // the other end stays at the press
            QCOMPARE(straight ? straight->point1->key() : trend->start->key(), mode == 2 ? end->key() : 5.0);
            return;
        }
        QCOMPARE(straight->point1->value(), end->value());
        QVERIFY(tag);
        QFETCH(int, shown);
        QCOMPARE(tag->label->text(), QString::number(end->value(), 'f', shown));
        QCOMPARE(tag->tracer->position->value(), end->value());
    }

    // Two coinciding points define no line: at key 0 (horizontal, crosshair) or price 0
    // (vertical) the line must still be drawn across the price area.
    void lineAtZeroIsVisible_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("horizontal line at key 0") << 1;
        QTest::newRow("crosshair at key 0") << 3;
        QTest::newRow("vertical line at price 0") << 2;
    }
    void lineAtZeroIsVisible()
    {
        QFETCH(int, mode);
        const bool row = mode != 2;
        QPoint pos = at(0.2, 1.53);
        if (!row) { // the bottom pixel row of the price area stands for exactly 0
            plot->yAxis2->setRange(0.0, 2.0);
            pos = QPoint(at(43, 1.0).x(), plot->axisRect()->bottom());
        }
        plot->drawMode = mode;
        send(plot.get(), QEvent::MouseButtonPress, pos);
        plot->replot();
        const int drawn = pixelsInBand(plot->grab().toImage(), row ? pos.y() : pos.x(), row, mode != 3);
        const int span = row ? plot->axisRect()->width() : plot->axisRect()->height();
        QVERIFY2(drawn > span * 3 / 4, qPrintable(QStringLiteral("%1 of %2 pixels").arg(drawn).arg(span)));
        send(plot.get(), QEvent::MouseButtonRelease, pos);
    }
};

CORVANE_TEST_GUI_MAIN(TestDrawingTools)
#include "tst_drawingtools.moc"
