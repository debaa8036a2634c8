#include "mydatetimeticker.h"

#include <QDateTime>

#include <cmath>

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
    const qint64 time = qint64(timestamps.at(int(index)));
    return QDateTime::fromSecsSinceEpoch(time, Qt::LocalTime).toString(dateTimeFormat);
}

QVector<double> MyDateTimeTicker::createTickVector(double tickStep, const QCPRange &range)
{
    QVector<double> ticks;
    if (timestamps.isEmpty())
        return ticks;
    const double end = std::trunc(std::min(double(timestamps.size() - 1), range.upper));
    if (tickStep > 0 && std::isfinite(tickStep)) {
        // From the last grid point at or below the view's left edge (never before bar 0) up to
        // the last bar in view: a deep zoom makes a step far below one bar, and walking from the
        // whole bar below the edge would make billions of marks.
        const double first = range.lower < 0 ? 0.0 : std::floor(range.lower / tickStep) * tickStep;
        for (int k = 0; k < MaxMarks; ++k) {
            const double tick = first + k * tickStep;
            if (!(tick < end))
                break;
            ticks.append(tick);
        }
    }
    ticks.append(end);
    return ticks;
}
