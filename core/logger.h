#pragma once

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>

// The terminal's journal: each line goes at once to the journal view (logMessage) and, through
// the logger's own thread, to the daily file Logs/yyyy-MM-dd.log. One logger per process.
//
// A day's file takes lines until they would carry it past DailyFileBytes; then the journal and
// the file hear once that the rest of the day's lines are not written, and the next day's file
// starts afresh. What an earlier run of the same day wrote counts toward the bound; a file
// already at it takes only the notice. Lines that find QueuedLineBound lines still waiting for
// the writer (a disk that does not keep up) are not written either; the journal and the file
// hear how many.
//
// Stores that grow with trade-server replies (a hostile server can make the terminal log a
// login line per reply, as fast as it sends them):
//   store                    | bound                              | worst case
//   lines waiting for the    | QueuedLineBound (10,000) lines     | 7.2 MB, no files
//   writer                   |                                    |
//   the day's file           | DailyFileBytes (256 MiB) a day     | 268 MB (256 MiB) and one line a
//                            |                                    | run, one file a day
// A waiting line is a QString: 24 bytes of header and 2 per character and its terminator, in a
// heap block rounded up to 16 with its 8-byte header, and 8 bytes in the list (16 with its spare
// room). The longest is a login line: 23 characters of time, two tabs, 8 of source and a message
// of 299 (an account of 20 characters, a server name of 255: the login dialog takes no longer
// one), 332 characters, 24 + 666 = 690 bytes, block 704; with the list 720, x 10,000 = 7.2 MB.
class Logger : public QThread
{
    Q_OBJECT
public:
    // A busy day writes a few thousand lines of about 80 bytes, under a megabyte; a connection
    // dropped every few seconds all day long writes some megabytes. 256 MiB is far beyond both.
    static constexpr qint64 DailyFileBytes = 256LL * 1024 * 1024;
    // The writer takes every waiting line each 10 ms: 10,000 waiting lines mean a disk stalled
    // for a long while, never a real broker's pace.
    static constexpr int QueuedLineBound = 10000;

    static Logger *instance();

    // Callable from any thread. An empty message is ignored.
    void log(const QString &title, const QString &message);

    // Writes every line still queued, in order, from the calling thread; for the program's end,
    // when the 10 ms writer would otherwise lose them.
    void flush();

    // Builds one file line: "yyyy-MM-dd HH:mm:ss.zzz\t<title>\t<message>". Line breaks, tabs and
    // other control characters in the title or message become spaces, so that every entry is one
    // line of three fields, whatever a server or a saved name holds.
    static QString formatLine(const QDateTime &time, const QString &title, const QString &message);
    // "Logs/yyyy-MM-dd.log" for the given date.
    static QString fileNameFor(const QDate &date);

    ~Logger() override;

signals:
    void logMessage(QDateTime logTime, QString title, QString message);

protected:
    explicit Logger(QObject *parent = nullptr);
    // For tests: a logger with bounds of its own.
    Logger(qint64 dailyFileBytes, int queuedLineBound, QObject *parent = nullptr);
    void run() override;
    // The day whose file takes the lines written now.
    virtual QDate today() const;

private:
    void writeQueuedLines();
    void writeLines(const QStringList &lines, int linesNotQueued);

    const qint64 dailyFileBytes = DailyFileBytes;
    const int queuedLineBound = QueuedLineBound;
    QStringList queue;
    // Lines refused since the writer last took the queue because it was full.
    int linesNotQueued = 0;
    QMutex mutex;
    // Held while lines are taken from the queue and written, so the writer thread and flush()
    // never write out of order.
    QMutex writeMutex;
    // The day whose file reached its bound in this run; guarded by writeMutex.
    QDate fullDay;
    // Cleared when the "Logs" folder cannot be made: from then on lines reach the journal only.
    std::atomic_bool fileEnabled{true};
};
