#pragma once
// A price tag on a value axis: an arrow whose head touches the axis at a value and a boxed text
// at the arrow's tail, outside the axis rect, on the plot's "overlay" layer.
// The three items belong to the axis's plot; the tag only points to them, so whichever of plot
// and tag goes first, nothing is deleted twice. The tag never redraws: its owner moves it, sets
// its text and colours, and replots on its own schedule.
#include <QObject>
#include <QPointer>

class QCPAxis;
class QCPItemTracer;
class QCPItemLine;
class QCPItemText;
class QPen;
class QBrush;

class AxisTag : public QObject
{
    Q_OBJECT
public:
    explicit AxisTag(QCPAxis *parentAxis);
    ~AxisTag() override;

    void setPen(const QPen &pen);
    void setBrush(const QBrush &brush);
    void setText(const QString &text);
    void updatePosition(double value);

    QCPAxis *axis;
    QPointer<QCPItemTracer> tracer;
    QPointer<QCPItemLine> arrow;
    QPointer<QCPItemText> label;
};
