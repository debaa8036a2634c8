#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

class FittedColumns;
class QTableWidget;
class QVBoxLayout;

// The "Journal" page: every line the terminal logs, oldest at the top, the newest kept in view.
// Lines stay in time order as they arrive, also those queued from other threads with an earlier
// time; lines of the same millisecond keep their arrival order. The user may sort by any column
// with a click on its header; the next line puts the table back in time order. No time, source
// or message is cut short: the columns widen to their widest text and the table scrolls
// sideways when they no longer fit.
class JournalWidget : public QWidget
{
    Q_OBJECT
public:
    explicit JournalWidget(QWidget *parent = nullptr);

    // "yyyy.MM.dd hh:mm:ss.zzz": fixed width, so text order is time order.
    static QString timeText(const QDateTime &time);

public slots:
    // server is the line's source, such as "Terminal" or "Network".
    void addItem(QDateTime time, QString server, QString message);

private:
    void sortByHeader();
    // The row before which a line with this time text belongs: after every row of the same or
    // an earlier time.
    int insertionRow(const QString &timeText) const;

    QVBoxLayout *journalLayout;
    QTableWidget *journalTable;
    FittedColumns *columns;
};
