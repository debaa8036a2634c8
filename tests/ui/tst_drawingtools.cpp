// The drawing tools on a chart window: what each mode leaves on the plot, snapping, dragging with
// the price tag, the end of every gesture, and lines at key 0 or price 0 that must still show in
// a grab of the chart.
#include "axistag.h"
#include "chartparts.h"
#include "displayformat.h"
#include "drawingtools.h"
#include "symbolchartwidget.h"
#include "testmain.h"

#include <QTimer>

namespace {

void send(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}
void press(QWidget *w, const QPoint &p, Qt::MouseButton b = Qt::LeftButton) { send(w, QEvent::MouseButtonPress, p, b, b); }
void move(QWidget *w, const QPoint &p) { send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
void release(QWidget *w, const QPoint &p, Qt::MouseButton b = Qt::LeftButton) { send(w, QEvent::MouseButtonRelease, p, b, Qt::NoButton); }

// Pixels of a 3-pixel band along a row (or a column) that are red, or the crosshair's grey.
int pixelsInBand(const QImage &image, int at, bool row, Qt::GlobalColor color)
{
    int count = 0;
    for (int i = 0; i < (row ? image.width() : image.height()); ++i) {
        bool hit = false;
        for (int d = -1; d <= 1; ++d) {
            const QPoint p = row ? QPoint(i, at + d) : QPoint(at + d, i);
            const QColor c = image.valid(p) ? image.pixelColor(p) : QColor(Qt::black);
            hit |= color == Qt::red ? c.red() > 180 && c.green() < 90 && c.blue() < 90
                                    : qAbs(c.red() - c.green()) < 12 && c.red() > 120 && c.red() < 200;
        }
        count += hit;
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
    QPoint at(double key, double price) const
    {
        return QPointF(plot->xAxis->coordToPixel(key), plot->yAxis2->coordToPixel(price)).toPoint();
    }
    // The price that a whole pixel row stands for is within this of the price asked for.
    double pricePerPixel() const { return plot->yAxis2->range().size() / plot->axisRect()->height(); }

private slots:
    // A chart without history, viewing keys 0 to 100 and prices 1 to 2, prices with 3 digits.
    void init()
    {
        plot = std::make_unique<SymbolChartWidget>(nullptr, QStringLiteral("EURUSD"), 60);
        plot->resize(800, 500);
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot.get()));
        plot->xAxis->setRange(0, 100);
        plot->yAxis2->setRange(1.0, 2.0);
        TickData tick;
        tick.symbol = QStringLiteral("EURUSD");
        tick.timestamp = 1700000000;
        tick.digits = 3;
        plot->onTick(tick);
        plot->replot();
        baseItems = plot->itemCount();
    }
    void cleanup() { plot.reset(); }

    // One press and release, no move, in each mode: what stays on the plot, and that every
    // gesture ends with drawStateFinished and a running redraw timer. The crosshair goes
    // although the chart has put its mode back to 0 before the tools see the release.
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
        QFETCH(int, items);
        QSignalSpy finished(plot.get(), &SymbolChartWidget::drawStateFinished);
        plot->drawMode = mode;
        press(plot.get(), at(20.3, 1.25));
        QVERIFY(!ChartParts::redrawTimer(*plot)->isActive());
        release(plot.get(), at(60, 1.8));
        QCOMPARE(drawnItems(), items);
        QCOMPARE(finished.count(), 1);
        QVERIFY(ChartParts::redrawTimer(*plot)->isActive());
        QCOMPARE(plot->drawMode, 0);
        if (mode == 4) { // from the press point to the same key one price unit higher
            auto *line = qobject_cast<QCPItemLine *>(plot->item(baseItems));
            QVERIFY(line);
            QCOMPARE(line->start->key(), 20.0);
            QCOMPARE(line->end->key(), 20.0);
            QVERIFY(qAbs(line->start->value() - 1.25) <= pricePerPixel());
            QCOMPARE(line->end->value(), line->start->value() + 1.0);
        }
    }

    // Dragging moves the line to the mouse, keys snapped to bars, and not the view; the release
    // itself moves nothing. The horizontal line's red tag follows with the price as text.
    void dragMovesTheLine_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("toKey");
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("price");
        QTest::newRow("vertical to 10.4") << 2 << 10.4 << 10 << 1.5;
        QTest::newRow("vertical to 10.6") << 2 << 10.6 << 11 << 1.5;
        QTest::newRow("horizontal with its tag") << 1 << 30.2 << 30 << 1.7;
        QTest::newRow("trend line end") << 4 << 40.6 << 41 << 1.9;
    }
    void dragMovesTheLine()
    {
        QFETCH(int, mode);
        QFETCH(double, toKey);
        QFETCH(int, key);
        QFETCH(double, price);
        int viewMoves = 0;
        connect(plot.get(), &QCustomPlot::mouseMove, this, [&] { ++viewMoves; });
        const QCPRange view = plot->xAxis->range();
        plot->drawMode = mode;
        press(plot.get(), at(5, 1.2));
        AxisTag *tag = ChartParts::tools(*plot)->drawingTag;
        move(plot.get(), at(toKey, price));
        release(plot.get(), at(90, 1.1));
        QCOMPARE(viewMoves, 0);
        QCOMPARE(plot->xAxis->range(), view);
        QCPAbstractItem *item = plot->item(baseItems);
        if (auto *line = qobject_cast<QCPItemLine *>(item)) {
            QCOMPARE(line->start->key(), 5.0); // the start stays at the press
            QCOMPARE(line->end->key(), double(key));
            QVERIFY(qAbs(line->end->value() - price) <= pricePerPixel());
            return;
        }
        auto *line = qobject_cast<QCPItemStraightLine *>(item);
        QVERIFY(line);
        QCOMPARE(line->point2->key(), double(key));
        if (mode == 2) {
            QCOMPARE(line->point1->key(), double(key));
            return;
        }
        const double drawn = line->point1->value();
        QVERIFY(qAbs(drawn - price) <= pricePerPixel());
        QCOMPARE(line->point2->value(), drawn);
        QVERIFY(tag);
        QCOMPARE(tag->label->text(), DisplayFormat::price(drawn, 3));
        QCOMPARE(tag->tracer->position->value(), drawn);
        QCOMPARE(tag->label->brush(), QBrush(Qt::red));
    }

    // A second press while a line is drawn is ignored and never reaches the plot; the first
    // release of any button ends the drawing.
    void secondPressWhileDrawingIsIgnored()
    {
        int plotPresses = 0;
        connect(plot.get(), &QCustomPlot::mousePress, this, [&] { ++plotPresses; });
        plot->drawMode = 3;
        press(plot.get(), at(30, 1.4));
        press(plot.get(), at(70, 1.1), Qt::RightButton);
        QCOMPARE(drawnItems(), 5);
        QCOMPARE(plotPresses, 0);
        release(plot.get(), at(70, 1.1), Qt::RightButton);
        QCOMPARE(drawnItems(), 0);
        QVERIFY(!ChartParts::tools(*plot)->isDrawing());
    }

    // Two coinciding points define no line: at key 0 (horizontal, crosshair) or price 0
    // (vertical) the line must still be drawn across the price area.
    void lineAtZeroIsVisible_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("row");
        QTest::addColumn<int>("color");
        QTest::newRow("horizontal line at key 0") << 1 << true << int(Qt::red);
        QTest::newRow("crosshair at key 0") << 3 << true << int(Qt::gray);
        QTest::newRow("vertical line at price 0") << 2 << false << int(Qt::red);
    }
    void lineAtZeroIsVisible()
    {
        QFETCH(int, mode);
        QFETCH(bool, row);
        QFETCH(int, color);
        QPoint pos = at(0.2, 1.53);
        if (!row) { // the bottom pixel row of the price area stands for exactly 0
            plot->yAxis2->setRange(0.0, 2.0);
            pos = QPoint(at(43, 1.0).x(), plot->axisRect()->bottom());
        }
        plot->drawMode = mode;
        press(plot.get(), pos);
        plot->replot();
        const int drawn = pixelsInBand(plot->grab().toImage(), row ? pos.y() : pos.x(), row, Qt::GlobalColor(color));
        const int span = row ? plot->axisRect()->width() : plot->axisRect()->height();
        QVERIFY2(drawn > span * 3 / 4, qPrintable(QStringLiteral("%1 of %2 pixels").arg(drawn).arg(span)));
        release(plot.get(), pos);
    }
};

CORVANE_TEST_GUI_MAIN(TestDrawingTools)
#include "tst_drawingtools.moc"
