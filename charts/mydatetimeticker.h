#pragma once

#include <QString>
#include <QVector>
#include <qcustomplot.h>

// The ticker of a chart's bar axis. Bars sit at their index (bar i at key i), so the marks are
// chosen in units of bars and each is labelled with the open time of the bar at its index.
// The last mark is always the last bar in view.
class MyDateTimeTicker : public QCPAxisTicker
{
public:
    MyDateTimeTicker();

    void setDateTimeFormat(const QString &format);
    void addTimestamp(double time);
    // Keeps the times of the first `count` bars.
    void truncate(int count);
    const QVector<double> &barTimes() const { return timestamps; }

    double getTickStep(const QCPRange &range) override;
    int getSubTickCount(double tickStep) override;
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision) override;
    QVector<double> createTickVector(double tickStep, const QCPRange &range) override;

    // However far the axis is zoomed, no more marks than this are made, the last bar's included.
    static constexpr int MaxMarks = 1000;

private:
    QVector<double> timestamps;
    int subTickCount = 0;
    QString dateTimeFormat;
};
