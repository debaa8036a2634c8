// The price tag: where its arrow and box land on a real plot, and that it survives its plot
// going first.
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
    // The head touches the axis line at the value's height, also where the axis stands away
    // from its rect; the box starts 5 px right of it (laid out on whole pixels, so its middle
    // may sit half a pixel off).
    void placement()
    {
        for (const int axisOffset : {0, 12}) {
            auto plot = makePlot(axisOffset);
            AxisTag tag(plot->yAxis2);
            tag.setText(QStringLiteral("1.23456"));
            tag.updatePosition(1.25);
            plot->replot();
            const QPointF head = tag.arrow->end->pixelPosition();
            QCOMPARE(head, QPointF(plot->axisRect()->rect().right() + 1 + axisOffset, plot->yAxis2->coordToPixel(1.25)));
            QCOMPARE(tag.arrow->start->pixelPosition(), head + QPointF(5, 0));
            const QPointF box = tag.label->left->pixelPosition() - head - QPointF(5, 0);
            QVERIFY2(qAbs(box.x()) <= 1.0 && qAbs(box.y()) <= 1.0, qPrintable(QStringLiteral("%1,%2").arg(box.x()).arg(box.y())));
        }
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
