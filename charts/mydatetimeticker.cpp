#include "mydatetimeticker.h"

#include <QDateTime>

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

} // namespace

MyDateTimeTicker::MyDateTimeTicker()
    : dateTimeFormat(QStringLiteral("hh:mm:ss\ndd.MM.yy"))
{
    setTickCount(10);
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
    const double s = (range.upper - range.lower) / (tickCount() + 1e-10);
    if (s < 1)
        return cleanMantissa(s);
    if (s < 3681720) {
        static const QVector<double> candidates = {1,   2,   5,   10,   15,   30,   60,    120,
                                                   180, 360, 720, 1440, 2880, 5760, 10080, 43830};
        return pickClosest(s, candidates);
    }
    return cleanMantissa(s / 525960) * 525960;
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
    ticks.append(end);
    return ticks;
}

void MyDateTimeTicker::truncate(int count)
{
    if (count < timestamps.size())
        timestamps.resize(std::max(count, 0));
}
