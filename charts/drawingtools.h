#pragma once
// The drawing tools of a plot's price area: one press, drag and release draws a horizontal line
// with a price tag (mode 1), a vertical line (2), a crosshair with a price tag that goes with the
// release (3) or a trend line (4). Works on any QCustomPlot with an axis rect: keys are read on
// its xAxis, prices on its yAxis2.
//
// Contract with the plot that forwards its mouse events here:
// - press() and move() return true when they took the event; the plot then must not handle it
//   (so the view does not drag while a line is drawn). A press while a line is being drawn is
//   taken and ignored.
// - Every press that is not ignored stops the redraw timer, whatever the mode; release() starts
//   it again (50 ms) and emits drawStateFinished(), at the end of every gesture.
// - The mode of a gesture is the one given at its press, so the release cleans up what that
//   press made even when the caller has reset its own mode meanwhile.
// - Lines of modes 1, 2 and 4 and the tag of mode 1 stay in the plot, which owns them; the tools
//   forget them at the release.
#include <QObject>
#include <QPoint>
#include <QPointer>

class AxisTag;
class QCPAbstractItem;
class QCPItemStraightLine;
class QCustomPlot;
class QTimer;

class DrawingTools : public QObject
{
    Q_OBJECT
public:
    enum Mode { Cursor = 0, HorizontalLine = 1, VerticalLine = 2, Crosshair = 3, TrendLine = 4 };

    // `redrawTimer` (may be null) is the plot's periodic redraw, paused while a button is held.
    DrawingTools(QCustomPlot *plot, QTimer *redrawTimer);

    // `pos` in whole pixels of the plot; `priceDigits` are the decimals of the tag's text.
    bool press(const QPoint &pos, int mode, int priceDigits);
    bool move(const QPoint &pos);
    void release();

    bool isDrawing() const { return !drawingItem.isNull(); }

    // The key of the bar nearest to a key coordinate: trunc(coord + 0.5), held within int.
    static int snapKey(double coord);

    // Items of the gesture in progress (null when none).
    QPointer<QCPAbstractItem> drawingItem;
    QPointer<QCPItemStraightLine> drawingItem2;
    QPointer<AxisTag> drawingTag;

signals:
    void drawStateFinished();

private:
    void placeHorizontal(QCPItemStraightLine *line, int key, double price);
    void placeVertical(QCPItemStraightLine *line, int key, double price);
    void placeTag(double price);

    QCustomPlot *plot;
    QPointer<QTimer> timer;
    int gestureMode = Cursor;
    int digits = 0;
};
