// The price tag: where its arrow and box land on a real plot, what a grab shows, and that it
// survives its plot going first.
#include "axistag.h"
#include "testmain.h"

#include <qcustomplot.h>

class TestAxisTag : public QObject
{
    Q_OBJECT

    // A right value axis from 1.0 to 2.0 on a fixed-size plot.
    static std::unique_ptr<QCustomPlot> makePlot(int axisOffset)
    {
        auto plot = std::make_unique<QCustomPlot>();
        plot->resize(400, 300);
        plot->yAxis2->setVisible(true);
        plot->yAxis2->setRange(1.0, 2.0);
        plot->yAxis2->setOffset(axisOffset);
        plot->axisRect()->setAutoMargins(QCP::msNone);
        plot->axisRect()->setMargins(QMargins(40, 10, 120, 20));
        plot->replot();
        return plot;
    }

private slots:
    void placement_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("axisOffset");
        QTest::newRow("inside the range") << 1.25 << 0;
        QTest::newRow("axis away from its rect") << 1.5 << 12;
        QTest::newRow("above the range") << 2.4 << 0;
        QTest::newRow("below the range") << 0.7 << 0;
    }

    // The head touches the axis line at the value's height; the box starts 5 px right of it.
    void placement()
    {
        QFETCH(double, value);
        QFETCH(int, axisOffset);
        auto plot = makePlot(axisOffset);
        AxisTag tag(plot->yAxis2);
        tag.setText(QStringLiteral("1.23456"));
        tag.updatePosition(value);
        plot->replot();

        const QPointF head = tag.arrow->end->pixelPosition();
        const QPointF tail = tag.arrow->start->pixelPosition();
        const QRect rect = plot->axisRect()->rect();
        QCOMPARE(head.x(), double(rect.x() + rect.width() + axisOffset));
        QCOMPARE(head.y(), plot->yAxis2->coordToPixel(value));
        QCOMPARE(tail, head + QPointF(5, 0));
        // The box is laid out on whole pixels: its middle may sit half a pixel off.
        const QPointF boxLeft = tag.label->left->pixelPosition();
        QVERIFY2(qAbs(boxLeft.x() - tail.x()) <= 1.0 && qAbs(boxLeft.y() - head.y()) <= 1.0,
                 qPrintable(QStringLiteral("box at %1,%2").arg(boxLeft.x()).arg(boxLeft.y())));
    }

    // Before the first move: value 0, empty text, white box, blue pen; the owner's colours then
    // reach both arrow and box frame, the brush only the box.
    void defaultsAndColours()
    {
        auto plot = makePlot(0);
        AxisTag tag(plot->yAxis2);
        QCOMPARE(tag.tracer->position->coords(), QPointF(1, 0));
        QVERIFY(!tag.tracer->visible());
        QVERIFY(tag.label->text().isEmpty());
        QCOMPARE(tag.label->brush().color(), QColor(Qt::white));
        QCOMPARE(tag.label->pen().color(), QColor(Qt::blue));
        QCOMPARE(tag.arrow->layer()->name(), QStringLiteral("overlay"));
        QCOMPARE(tag.label->layer()->name(), QStringLiteral("overlay"));

        tag.setPen(QPen(Qt::red));
        tag.setBrush(QBrush(Qt::green));
        QCOMPARE(tag.arrow->pen().color(), QColor(Qt::red));
        QCOMPARE(tag.label->pen().color(), QColor(Qt::red));
        QCOMPARE(tag.label->brush().color(), QColor(Qt::green));
    }

    // What the trader sees: the box's fill just right of the axis, outside the axis rect.
    void grabShowsTheBox()
    {
        auto plot = makePlot(0);
        AxisTag tag(plot->yAxis2);
        tag.setBrush(QBrush(QColor(0, 200, 0)));
        tag.setText(QStringLiteral("1.50000"));
        tag.updatePosition(1.5);
        plot->replot();

        const QImage image = plot->grab().toImage();
        const QRectF box(tag.label->topLeft->pixelPosition(), tag.label->bottomRight->pixelPosition());
        QVERIFY(box.left() > plot->axisRect()->right());
        // Fill between the frame and the text: just inside the box's lower right corner.
        const QPoint inside(int(box.right()) - 2, int(box.bottom()) - 2);
        QCOMPARE(image.pixelColor(inside), QColor(0, 200, 0));
    }

    void plotDestroyedFirst()
    {
        auto plot = makePlot(0);
        auto tag = new AxisTag(plot->yAxis2);
        QPointer<AxisTag> guard(tag);
        plot.reset(); // the axis takes the tag with it, after the plot dropped the items
        QVERIFY(guard.isNull());

        auto other = makePlot(0);
        AxisTag lone(other->yAxis2);
        other->clearItems();
        lone.setText(QStringLiteral("x"));
        lone.updatePosition(1.5);
        QVERIFY(lone.label.isNull());
    }
};

CORVANE_TEST_GUI_MAIN(TestAxisTag)
#include "tst_axistag.moc"
