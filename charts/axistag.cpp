#include "axistag.h"

#include <qcustomplot.h>

AxisTag::AxisTag(QCPAxis *parentAxis)
    : QObject(parentAxis)
    , axis(parentAxis)
{
    QCustomPlot *plot = axis->parentPlot();

    // The invisible anchor: right edge of the axis rect, at the marked value.
    tracer = new QCPItemTracer(plot);
    tracer->setVisible(false);
    tracer->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
    tracer->position->setTypeY(QCPItemPosition::ptPlotCoords);
    tracer->position->setAxisRect(axis->axisRect());
    tracer->position->setAxes(nullptr, axis);
    tracer->position->setCoords(1, 0);

    arrow = new QCPItemLine(plot);
    arrow->setLayer(QStringLiteral("overlay"));
    arrow->setClipToAxisRect(false);
    arrow->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10, false));
    arrow->end->setParentAnchor(tracer->position);
    arrow->start->setParentAnchor(arrow->end);
    arrow->start->setCoords(5, 0);

    label = new QCPItemText(plot);
    label->setLayer(QStringLiteral("overlay"));
    label->setClipToAxisRect(false);
    label->setPadding(QMargins(3, 0, 3, 0));
    label->setBrush(QBrush(Qt::white));
    label->setPen(QPen(Qt::blue));
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setText(QString()); // a fresh tag shows no placeholder text
    label->position->setParentAnchor(arrow->start);
}

AxisTag::~AxisTag()
{
    // Items the plot already deleted (plot destroyed first) are null here and skipped.
    if (tracer)
        tracer->parentPlot()->removeItem(tracer);
    if (arrow)
        arrow->parentPlot()->removeItem(arrow);
    if (label)
        label->parentPlot()->removeItem(label);
}

// The plot may have dropped the items (clearItems) while the tag lives on; then there is
// nothing left to set.
void AxisTag::setPen(const QPen &pen)
{
    if (arrow)
        arrow->setPen(pen);
    if (label)
        label->setPen(pen);
}

void AxisTag::setBrush(const QBrush &brush)
{
    if (label)
        label->setBrush(brush);
}

void AxisTag::setText(const QString &text)
{
    if (label)
        label->setText(text);
}

void AxisTag::updatePosition(double value)
{
    if (tracer)
        tracer->position->setCoords(1, value);
    // The head touches the axis line even when the axis stands away from its rect.
    if (arrow)
        arrow->end->setCoords(axis->offset(), 0);
}
