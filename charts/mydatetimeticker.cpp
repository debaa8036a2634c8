#include "mydatetimeticker.h"

#include <QDateTime>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A bar time as whole seconds that QDateTime can still count in milliseconds: a time read from a
// reply may lie anywhere up to 2^63, where the conversion to an integer is not defined.
qint64 barSeconds(double time)
{
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / 1000;
    if (std::isnan(time))
        return 0;
    if (time >= double(limit))
        return limit;
    if (time <= double(-limit))
        return -limit;
    return qint64(time);
}

int axisLength(const QCPAxis *axis)
{
    return axis->orientation() == Qt::Horizontal ? axis->axisRect()->width() : axis->axisRect()->height();
}

// The smallest readable step (1, 2, 2.5 or 5 times a power of ten) not below the input: a step
// rounded down would bring the labels closer than they fit.
double readableStepAtLeast(double input)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(input)));
    for (double mantissa : {1.0, 2.0, 2.5, 5.0}) {
        if (input <= mantissa * magnitude * (1 + 1e-9))
            return mantissa * magnitude;
    }
    return 10 * magnitude;
}

} // namespace

MyDateTimeTicker::MyDateTimeTicker()
    : dateTimeFormat(QStringLiteral("hh:mm:ss\ndd.MM.yy"))
{
    setTickCount(10);
}

MyDateTimeTicker::~MyDateTimeTicker()
{
    QObject::disconnect(relayout);
}

void MyDateTimeTicker::fitTo(QCPAxis *axis)
{
    QObject::disconnect(relayout);
    fittedAxis = axis;
    fittedLength = -1;
    if (!axis || !axis->parentPlot())
        return;
    // The plot makes its marks before its layout settles the axis's length, so after a resize
    // they would be planned for the old length until the next redraw.
    relayout = QObject::connect(axis->parentPlot(), &QCustomPlot::afterLayout, axis, [this, axis] {
        if (axis->ticker().data() == this && axis->axisRect() && axisLength(axis) != fittedLength)
            axis->axisRect()->update(QCPLayoutElement::upPreparation);
    });
}

int MyDateTimeTicker::labelRoom(const QFont &font, const QString &format)
{
    const QFontMetrics metrics(font);
    int widest = 0;
    // Month names differ in width: one sample of each.
    for (int month = 1; month <= 12; ++month) {
        const QString label = QDateTime(QDate(2000, month, 28), QTime(23, 58, 58)).toString(format);
        widest = std::max(widest, metrics.boundingRect(QRect(), Qt::TextDontClip | Qt::AlignHCenter, label).width());
    }
    return widest + metrics.horizontalAdvance(QStringLiteral("00"));
}

double MyDateTimeTicker::markSpacing(const QCPRange &range)
{
    int marks = tickCount();
    if (fittedAxis && fittedAxis->axisRect()) {
        // Measured again only when the font or the format changed, not at every redraw.
        if (fittedAxis->tickLabelFont() != roomFont || dateTimeFormat != roomFormat || room <= 0) {
            roomFont = fittedAxis->tickLabelFont();
            roomFormat = dateTimeFormat;
            room = labelRoom(roomFont, roomFormat);
        }
        fittedLength = axisLength(fittedAxis);
        marks = std::max(1, fittedLength / room);
    }
    return (range.upper - range.lower) / (marks + 1e-10);
}

void MyDateTimeTicker::setDateTimeFormat(const QString &format)
{
    dateTimeFormat = format;
}

void MyDateTimeTicker::addTimestamp(double time)
{
    timestamps.append(time);
}

double MyDateTimeTicker::getTickStep(const QCPRange &range)
{
    const double s = markSpacing(range);
    if (!(s > 0) || !std::isfinite(s))
        return cleanMantissa(s);
    if (s < 1)
        return readableStepAtLeast(s);
    static const double candidates[] = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440, 2880, 5760, 10080, 43830};
    for (double candidate : candidates) {
        if (candidate >= s)
            return candidate;
    }
    return readableStepAtLeast(s / 525960) * 525960;
}

int MyDateTimeTicker::getSubTickCount(double tickStep)
{
    Q_UNUSED(tickStep)
    return subTickCount;
}

QString MyDateTimeTicker::getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision)
{
    Q_UNUSED(locale)
    Q_UNUSED(formatChar)
    Q_UNUSED(precision)
    // Compared as a double first: a far-off mark does not fit an int.
    const double index = std::trunc(tick);
    if (!(index >= 0 && index < timestamps.size()))
        return QString();
    return QDateTime::fromSecsSinceEpoch(barSeconds(timestamps.at(int(index))), Qt::LocalTime).toString(dateTimeFormat);
}

QVector<double> MyDateTimeTicker::createTickVector(double tickStep, const QCPRange &range)
{
    QVector<double> ticks;
    if (timestamps.isEmpty())
        return ticks;
    const double end = std::trunc(std::min(double(timestamps.size() - 1), range.upper));
    if (tickStep > 0 && std::isfinite(tickStep)) {
        // A deep zoom makes a step far below one bar: the cap keeps the marks from the whole bar
        // below the view's edge to the view finite.
        const double first = range.lower < 0 ? 0.0 : std::trunc(range.lower);
        for (int k = 0; k < MaxMarks - 1; ++k) {
            const double tick = first + k * tickStep;
            if (!(tick < end))
                break;
            ticks.append(tick);
        }
    }
    // The last bar's label stays; a neighbour that would touch it goes.
    if (!ticks.isEmpty() && end - ticks.last() < markSpacing(range))
        ticks.removeLast();
    ticks.append(end);
    return ticks;
}

void MyDateTimeTicker::truncate(int count)
{
    if (count < timestamps.size())
        timestamps.resize(std::max(count, 0));
}
