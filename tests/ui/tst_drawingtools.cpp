// The drawing tools on a plain plot whose mouse handlers forward to them the way a chart window
// does: what each mode leaves on the plot, snapping, dragging, the price tag, the end of every
// gesture, and lines at key 0 or price 0 that must still show in a grab.
#include "axistag.h"
#include "displayformat.h"
#include "drawingtools.h"
#include "testmain.h"

#include <QTimer>
#include <qcustomplot.h>

namespace {

class ToolPlot : public QCustomPlot
{
public:
    ToolPlot() : timer(this), tools(this, &timer)
    {
        yAxis2->setVisible(true);
        xAxis->setRange(0, 100);
        yAxis2->setRange(1.0, 2.0);
        timer.start(50);
        resize(800, 500);
    }

    int drawMode = 0;
    int digits = 5;
    QTimer timer;
    DrawingTools tools;

    QPoint at(double key, double price) const
    {
        return QPointF(xAxis->coordToPixel(key), yAxis2->coordToPixel(price)).toPoint();
    }
    // The price that a whole pixel row stands for is within this of the price asked for.
    double pricePerPixel() const { return yAxis2->range().size() / axisRect()->height(); }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (!tools.press(event->pos(), drawMode, digits))
            QCustomPlot::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!tools.move(event->pos()))
            QCustomPlot::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        drawMode = 0; // as the window does before its own release handling
        QCustomPlot::mouseReleaseEvent(event);
        tools.release();
    }
};

void send(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton,
          Qt::MouseButtons held = Qt::LeftButton)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

void press(QWidget *w, const QPoint &p, Qt::MouseButton b = Qt::LeftButton) { send(w, QEvent::MouseButtonPress, p, b, b); }
void move(QWidget *w, const QPoint &p) { send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
void release(QWidget *w, const QPoint &p, Qt::MouseButton b = Qt::LeftButton) { send(w, QEvent::MouseButtonRelease, p, b, Qt::NoButton); }

bool isStrongly(const QColor &c, Qt::GlobalColor wanted)
{
    if (wanted == Qt::red)
        return c.red() > 180 && c.green() < 90 && c.blue() < 90;
    // grey (160, 160, 164) on white
    return qAbs(c.red() - c.green()) < 12 && c.red() > 120 && c.red() < 200;
}

// How many pixels of a row (horizontal) or column (vertical) band of width 3 have the colour.
int pixelsInBand(const QImage &image, int at, bool horizontal, Qt::GlobalColor color)
{
    int count = 0;
    const int length = horizontal ? image.width() : image.height();
    for (int i = 0; i < length; ++i) {
        bool hit = false;
        for (int d = -1; d <= 1 && !hit; ++d) {
            const QPoint p = horizontal ? QPoint(i, at + d) : QPoint(at + d, i);
            hit = image.valid(p) && isStrongly(image.pixelColor(p), color);
        }
        count += hit;
    }
    return count;
}

} // namespace

class TestDrawingTools : public QObject
{
    Q_OBJECT

    std::unique_ptr<ToolPlot> plot;

private slots:
    void init()
    {
        plot = std::make_unique<ToolPlot>();
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot.get()));
        plot->replot();
    }
    void cleanup() { plot.reset(); }

    void keySnapsToNearestBar_data()
    {
        QTest::addColumn<double>("coord");
        QTest::addColumn<int>("key");
        QTest::newRow("10.4") << 10.4 << 10;
        QTest::newRow("10.5") << 10.5 << 11;
        QTest::newRow("10.6") << 10.6 << 11;
        QTest::newRow("-0.4 truncates toward zero") << -0.4 << 0;
        QTest::newRow("-1.7") << -1.7 << -1;
        QTest::newRow("far right stays in int") << 1e12 << std::numeric_limits<int>::max();
        QTest::newRow("far left stays in int") << -1e12 << std::numeric_limits<int>::min();
        QTest::newRow("NaN") << std::nan("") << 0;
    }
    void keySnapsToNearestBar()
    {
        QFETCH(double, coord);
        QFETCH(int, key);
        QCOMPARE(DrawingTools::snapKey(coord), key);
    }

    // One press and release, no move, in each mode: what stays on the plot, and that every
    // gesture ends with drawStateFinished and a running redraw timer.
    void pressAndRelease_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("items"); // a tag is three items
        QTest::newRow("0 cursor") << 0 << 0;
        QTest::newRow("1 horizontal line and its tag") << 1 << 4;
        QTest::newRow("2 vertical line") << 2 << 1;
        QTest::newRow("3 crosshair goes with the release") << 3 << 0;
        QTest::newRow("4 trend line") << 4 << 1;
        QTest::newRow("unknown mode draws nothing") << 7 << 0;
    }
    void pressAndRelease()
    {
        QFETCH(int, mode);
        QFETCH(int, items);
        QSignalSpy finished(&plot->tools, &DrawingTools::drawStateFinished);
        plot->drawMode = mode;
        press(plot.get(), plot->at(20.3, 1.25));
        QVERIFY(!plot->timer.isActive());
        release(plot.get(), plot->at(60, 1.8));
        QCOMPARE(plot->itemCount(), items);
        QCOMPARE(finished.count(), 1);
        QVERIFY(plot->timer.isActive());
        QCOMPARE(plot->timer.interval(), 50);
        QVERIFY(!plot->tools.isDrawing());
        if (mode == 4) { // from the press point to the same key one price unit higher
            auto *line = qobject_cast<QCPItemLine *>(plot->item(0));
            QVERIFY(line);
            QCOMPARE(line->start->key(), 20.0);
            QCOMPARE(line->end->key(), 20.0);
            QVERIFY(qAbs(line->start->value() - 1.25) <= plot->pricePerPixel());
            QCOMPARE(line->end->value(), line->start->value() + 1.0);
            QCOMPARE(line->pen().color(), QColor(Qt::red));
        }
    }

    // Dragging moves the line to the mouse: keys snap to bars, prices do not; the release
    // itself moves nothing.
    void dragMovesTheLine_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("toKey");
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("price");
        QTest::newRow("vertical to 10.4") << 2 << 10.4 << 10 << 1.5;
        QTest::newRow("vertical to 10.6") << 2 << 10.6 << 11 << 1.5;
        QTest::newRow("horizontal") << 1 << 30.2 << 30 << 1.7;
        QTest::newRow("trend line end") << 4 << 40.6 << 41 << 1.9;
    }
    void dragMovesTheLine()
    {
        QFETCH(int, mode);
        QFETCH(double, toKey);
        QFETCH(int, key);
        QFETCH(double, price);
        int dragged = 0;
        connect(plot.get(), &QCustomPlot::mouseMove, this, [&] { ++dragged; });
        const QCPRange view = plot->xAxis->range();
        plot->drawMode = mode;
        press(plot.get(), plot->at(5, 1.2));
        move(plot.get(), plot->at(toKey, price));
        release(plot.get(), plot->at(90, 1.1));
        QCOMPARE(dragged, 0); // the view did not see the drag
        QCOMPARE(plot->xAxis->range(), view);
        QCPAbstractItem *item = plot->item(0);
        QCPItemPosition *moved = nullptr;
        if (auto *straight = qobject_cast<QCPItemStraightLine *>(item))
            moved = straight->point2;
        else if (auto *line = qobject_cast<QCPItemLine *>(item))
            moved = line->end;
        QVERIFY(moved);
        QCOMPARE(moved->key(), double(key));
        if (mode != 2) // the vertical line's price runs on the item's own value axis
            QVERIFY(qAbs(moved->value() - price) <= plot->pricePerPixel());
        if (mode == 4) {
            auto *line = qobject_cast<QCPItemLine *>(item);
            QCOMPARE(line->start->key(), 5.0); // the start stays at the press
        }
        if (mode == 2)
            QCOMPARE(qobject_cast<QCPItemStraightLine *>(item)->point1->key(), double(key));
    }

    // Mode 1: the red tag follows the line's price and shows it with the symbol's digits.
    void horizontalLineTagFollows()
    {
        plot->drawMode = 1;
        plot->digits = 3;
        press(plot.get(), plot->at(50, 1.2));
        AxisTag *tag = plot->tools.drawingTag;
        QVERIFY(tag);
        move(plot.get(), plot->at(55, 1.75));
        auto *line = qobject_cast<QCPItemStraightLine *>(plot->item(0));
        QVERIFY(line);
        const double price = line->point1->value();
        QVERIFY(qAbs(price - 1.75) <= plot->pricePerPixel());
        QCOMPARE(line->point2->value(), price);
        QCOMPARE(tag->label->text(), DisplayFormat::price(price, 3));
        QCOMPARE(tag->tracer->position->value(), price);
        QCOMPARE(tag->label->brush(), QBrush(Qt::red));
        QCOMPARE(tag->arrow->pen().style(), Qt::NoPen);
        release(plot.get(), plot->at(10, 1.05));
        QCOMPARE(line->point1->value(), price);
        QCOMPARE(tag->label->text(), DisplayFormat::price(price, 3));
        QCOMPARE(plot->itemCount(), 4);
    }

    // The crosshair's lines and tag go at the release although the caller has already put its
    // mode back to 0; a second press while drawing is ignored and never reaches the plot.
    void crosshairCleansUpAndIgnoresSecondPress()
    {
        int plotPresses = 0;
        connect(plot.get(), &QCustomPlot::mousePress, this, [&] { ++plotPresses; });
        QSignalSpy finished(&plot->tools, &DrawingTools::drawStateFinished);
        plot->drawMode = 3;
        press(plot.get(), plot->at(30, 1.4));
        move(plot.get(), plot->at(35, 1.6));
        QCOMPARE(plot->itemCount(), 5);
        press(plot.get(), plot->at(70, 1.1), Qt::RightButton);
        QCOMPARE(plot->itemCount(), 5);
        QCOMPARE(plotPresses, 0);
        release(plot.get(), plot->at(70, 1.1), Qt::RightButton);
        QCOMPARE(plot->itemCount(), 0);
        QCOMPARE(finished.count(), 1);
        // A plain drag in mode 0 goes to the plot and still ends with the signal.
        press(plot.get(), plot->at(30, 1.4));
        move(plot.get(), plot->at(40, 1.4));
        release(plot.get(), plot->at(40, 1.4));
        QCOMPARE(plotPresses, 1);
        QCOMPARE(finished.count(), 2);
        QCOMPARE(plot->itemCount(), 0);
    }

    // Two coinciding points define no line: at key 0 (horizontal, crosshair) or price 0
    // (vertical) the line must still be drawn.
    void lineAtZeroIsVisible_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("priceAtZero");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<int>("color");
        QTest::newRow("horizontal line at key 0") << 1 << false << true << int(Qt::red);
        QTest::newRow("crosshair at key 0") << 3 << false << true << int(Qt::gray);
        QTest::newRow("vertical line at price 0") << 2 << true << false << int(Qt::red);
    }
    void lineAtZeroIsVisible()
    {
        QFETCH(int, mode);
        QFETCH(bool, priceAtZero);
        QFETCH(bool, horizontal);
        QFETCH(int, color);
        QPoint at = plot->at(0.2, 1.5);
        if (priceAtZero) {
            plot->yAxis2->setRange(0.0, 2.0);
            plot->replot();
            at = QPoint(plot->at(40, 1.0).x(), plot->axisRect()->bottom());
        }
        plot->drawMode = mode;
        press(plot.get(), at);
        plot->replot();
        const QImage image = plot->grab().toImage();
        const int drawn = pixelsInBand(image, horizontal ? at.y() : at.x(), horizontal, Qt::GlobalColor(color));
        // Across most of the axis rect, not a dot.
        const int span = horizontal ? plot->axisRect()->width() : plot->axisRect()->height();
        QVERIFY2(drawn > span / 2, qPrintable(QStringLiteral("%1 of %2 pixels").arg(drawn).arg(span)));
        release(plot.get(), at);
    }
};

CORVANE_TEST_GUI_MAIN(TestDrawingTools)
#include "tst_drawingtools.moc"
