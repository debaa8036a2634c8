#include "drawingtools.h"

#include "axistag.h"
#include "displayformat.h"

#include <QDebug>
#include <QTimer>
#include <cmath>
#include <limits>
#include <qcustomplot.h>

namespace {

constexpr int RedrawIntervalMs = 50;

QPen linePen(Qt::GlobalColor color)
{
    return QPen(QColor(color));
}

} // namespace

DrawingTools::DrawingTools(QCustomPlot *plot, QTimer *redrawTimer)
    : QObject(plot), plot(plot), timer(redrawTimer)
{
}

int DrawingTools::snapKey(double coord)
{
    const double snapped = coord + 0.5;
    if (std::isnan(snapped))
        return 0;
    if (snapped >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (snapped <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(snapped);
}

bool DrawingTools::press(const QPoint &pos, int mode, int priceDigits)
{
    if (drawingItem)
        return true;
    if (timer)
        timer->stop();
    gestureMode = mode;
    digits = priceDigits;
    const int key = snapKey(plot->xAxis->pixelToCoord(pos.x()));
    const double price = plot->yAxis2->pixelToCoord(pos.y());

    switch (mode) {
    case HorizontalLine:
    case Crosshair: {
        const Qt::GlobalColor color = mode == HorizontalLine ? Qt::red : Qt::gray;
        auto *line = new QCPItemStraightLine(plot);
        line->setPen(linePen(color));
        line->point1->setAxes(plot->xAxis, plot->yAxis2);
        line->point2->setAxes(plot->xAxis, plot->yAxis2);
        placeHorizontal(line, key, price);
        drawingItem = line;
        drawingTag = new AxisTag(plot->yAxis2);
        drawingTag->setPen(Qt::NoPen);
        drawingTag->setBrush(QBrush(color));
        placeTag(price);
        if (mode == Crosshair) {
            auto *vertical = new QCPItemStraightLine(plot);
            vertical->setPen(linePen(color));
            placeVertical(vertical, key, price);
            drawingItem2 = vertical;
        }
        return true;
    }
    case VerticalLine: {
        auto *line = new QCPItemStraightLine(plot);
        line->setPen(linePen(Qt::red));
        placeVertical(line, key, price);
        drawingItem = line;
        return true;
    }
    case TrendLine: {
        auto *line = new QCPItemLine(plot);
        line->setPen(linePen(Qt::red));
        line->start->setAxes(plot->xAxis, plot->yAxis2);
        line->end->setAxes(plot->xAxis, plot->yAxis2);
        line->start->setCoords(key, price);
        line->end->setCoords(key, price + 1.0);
        drawingItem = line;
        return true;
    }
    default:
        return false;
    }
}

bool DrawingTools::move(const QPoint &pos)
{
    if (!drawingItem || gestureMode < HorizontalLine || gestureMode > TrendLine)
        return false;
    const int key = snapKey(plot->xAxis->pixelToCoord(pos.x()));
    const double price = plot->yAxis2->pixelToCoord(pos.y());

    switch (gestureMode) {
    case HorizontalLine:
    case Crosshair:
        if (auto *line = qobject_cast<QCPItemStraightLine *>(drawingItem.data()))
            placeHorizontal(line, key, price);
        placeTag(price);
        if (drawingItem2)
            placeVertical(drawingItem2, key, price);
        break;
    case VerticalLine:
        if (auto *line = qobject_cast<QCPItemStraightLine *>(drawingItem.data()))
            placeVertical(line, key, price);
        break;
    case TrendLine:
        qDebug().noquote() << QStringLiteral("%1, %2").arg(key).arg(price);
        if (auto *line = qobject_cast<QCPItemLine *>(drawingItem.data()))
            line->end->setCoords(key, price);
        break;
    }
    plot->replot(QCustomPlot::rpRefreshHint);
    return true;
}

void DrawingTools::release()
{
    if (gestureMode == Crosshair) {
        if (drawingItem)
            plot->removeItem(drawingItem.data());
        if (drawingItem2)
            plot->removeItem(drawingItem2.data());
        delete drawingTag.data();
    }
    gestureMode = Cursor;
    drawingItem = nullptr;
    drawingItem2 = nullptr;
    drawingTag = nullptr;
    if (timer)
        timer->start(RedrawIntervalMs);
    emit drawStateFinished();
}

void DrawingTools::placeHorizontal(QCPItemStraightLine *line, int key, double price)
{
    // Two points at the same key would define no line at all, so at key 0 the second point
    // stands one key away.
    line->point1->setCoords(0, price);
    line->point2->setCoords(key == 0 ? 1 : key, price);
}

void DrawingTools::placeVertical(QCPItemStraightLine *line, int key, double price)
{
    // Likewise at a price of exactly 0.
    line->point1->setCoords(key, 0);
    line->point2->setCoords(key, price == 0.0 ? 1.0 : price);
}

void DrawingTools::placeTag(double price)
{
    if (!drawingTag)
        return;
    drawingTag->setText(DisplayFormat::price(price, digits));
    drawingTag->updatePosition(price);
}
