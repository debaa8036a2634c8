#pragma once

#include <QFont>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

// The ticker of a chart's bar axis. Bars sit at their index (bar i at key i), so the marks are
// chosen in units of bars and each is labelled with the open time of the bar at its index.
// The last mark is always the last bar in view. Fitted to an axis, it makes as many marks as
// their labels fit side by side along it, and leaves out the mark next to the last bar when that
// label would touch the last bar's; unfitted, it plans for ten.
class MyDateTimeTicker : public QCPAxisTicker
{
public:
    MyDateTimeTicker();
    ~MyDateTimeTicker() override;

    void setDateTimeFormat(const QString &format);
    void addTimestamp(double time);
    // Keeps the times of the first `count` bars.
    void truncate(int count);
    const QVector<double> &barTimes() const { return timestamps; }

    // Plans the marks for this axis, its length and its tick-label font, from now on; also when
    // a resize changes the length, before the plot is drawn.
    void fitTo(QCPAxis *axis);

    // The room one time label of this format takes along an axis in this font: the widest label
    // the format gives and a gap of two digits to the next. Every time axis spaces its marks by
    // it, so that no two labels touch.
    static int labelRoom(const QFont &font, const QString &dateTimeFormat);

    double getTickStep(const QCPRange &range) override;
    int getSubTickCount(double tickStep) override;
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision) override;
    QVector<double> createTickVector(double tickStep, const QCPRange &range) override;

    // However far the axis is zoomed, no more marks than this are made, the last bar's included.
    static constexpr int MaxMarks = 1000;

private:
    // The least distance, in bars, of two labelled marks over this range.
    double markSpacing(const QCPRange &range);

    QVector<double> timestamps;
    int subTickCount = 0;
    QString dateTimeFormat;
    QPointer<QCPAxis> fittedAxis;
    int fittedLength = -1;
    QMetaObject::Connection relayout;
    QFont roomFont;
    QString roomFormat;
    int room = 0;
};
