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
    // The head touches the axis line at the value's height, the box starts 5 px right of it,
    // and a grab shows the box's fill there, outside the axis rect.
    void placement_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("axisOffset");
        QTest::newRow("inside the range") << 1.25 << 0;
        QTest::newRow("axis away from its rect") << 1.5 << 12;
        QTest::newRow("above the range") << 2.4 << 0;
        QTest::newRow("below the range") << 0.7 << 0;
    }
    void placement()
    {
        QFETCH(double, value);
        QFETCH(int, axisOffset);
        auto plot = makePlot(axisOffset);
        AxisTag tag(plot->yAxis2);
        tag.setBrush(QBrush(QColor(0, 200, 0)));
        tag.setText(QStringLiteral("1.23456"));
        tag.updatePosition(value);
        plot->replot();

        const QPointF head = tag.arrow->end->pixelPosition();
        const QRect rect = plot->axisRect()->rect();
        QCOMPARE(head, QPointF(rect.x() + rect.width() + axisOffset, plot->yAxis2->coordToPixel(value)));
        QCOMPARE(tag.arrow->start->pixelPosition(), head + QPointF(5, 0));
        // The box is laid out on whole pixels: its middle may sit half a pixel off.
        const QPointF boxLeft = tag.label->left->pixelPosition() - head - QPointF(5, 0);
        QVERIFY2(qAbs(boxLeft.x()) <= 1.0 && qAbs(boxLeft.y()) <= 1.0, qPrintable(QStringLiteral("%1,%2").arg(boxLeft.x()).arg(boxLeft.y())));
        const QRectF box(tag.label->topLeft->pixelPosition(), tag.label->bottomRight->pixelPosition());
        const QPoint inside(int(box.right()) - 2, int(box.bottom()) - 2); // fill, just inside the corner
        if (plot->rect().contains(inside))
            QCOMPARE(plot->grab().toImage().pixelColor(inside), QColor(0, 200, 0));
    }

    void plotDestroyedFirst()
    {
        auto plot = makePlot(0);
        QPointer<AxisTag> tag = new AxisTag(plot->yAxis2);
        plot.reset(); // the axis takes the tag with it, after the plot dropped the items
        QVERIFY(tag.isNull());

        auto other = makePlot(0);
        AxisTag lone(other->yAxis2);
        other->clearItems();
        lone.setPen(QPen(Qt::red));
        lone.setBrush(QBrush(Qt::red));
        lone.setText(QStringLiteral("x"));
        lone.updatePosition(1.5);
        QVERIFY(lone.label.isNull());
    }
};

CORVANE_TEST_GUI_MAIN(TestAxisTag)
#include "tst_axistag.moc"
