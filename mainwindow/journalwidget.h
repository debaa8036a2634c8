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
//
// The view keeps the newest lines only: once it holds rowBound rows, a new line first drops the
// dropBatch oldest, so a flood costs one removal per batch rather than one per line. The daily
// log file keeps what the view let go.
//
// Stores that grow with trade-server replies (a hostile server can make the terminal log a
// login line per reply, as fast as it sends them):
//   store              | bound                                    | worst case
//   rows of the table  | RowBound (50,000) rows, the oldest       | about 67 MB, no files
//                      | DropBatch (5,000) dropped at once        |
// How the MB are reckoned (64-bit Qt 5.15, heap blocks rounded up to 16 bytes with their 8-byte
// header): each cell is a FooterItem (48 bytes, block 64), its private part (block 32) and its
// one-entry vector of role and value (24 + 24 bytes, block 64), 160 bytes before its text; a
// text costs 24 bytes of header and 2 per character and its terminator. The longest line is
// "<account> login to <server name> successfully ": an account of at most 20 characters and a
// server name of at most 255 (the login dialog takes no longer one), 299 characters, 640 bytes; the
// time text 80 and the source 48. The model's item and header vectors and the hidden row
// header add about 80 bytes a row (spare capacity included). 3 x 160 + 640 + 80 + 48 + 80 =
// 1,328 bytes a row, x 50,000 rows = 66 MB (the heap grew by 1,348 bytes a row, 67 MB, when
// measured); with a server name of ten letters, about 42 MB.
class JournalWidget : public QWidget
{
    Q_OBJECT
public:
    // A trader's busy day logs a few thousand lines; a connection dropped every few seconds all
    // day long, some tens of thousands. 50,000 rows keep days of ordinary work in view.
    static constexpr int RowBound = 50000;
    static constexpr int DropBatch = RowBound / 10;

    // rowBound and dropBatch other than the defaults are for tests.
    explicit JournalWidget(QWidget *parent = nullptr, int rowBound = RowBound, int dropBatch = DropBatch);

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
    const int rowBound;
    const int dropBatch;
};
