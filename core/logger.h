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
// already at it takes only the notice.
//
// Stores that grow with trade-server replies (a hostile server can make the terminal log a
// login line per reply, as fast as it sends them):
//   store                    | bound                              | worst case
//   the day's file           | DailyFileBytes (256 MiB) a day     | 256 MiB and one line each run,
//                            |                                    | one file a day
class Logger : public QThread
{
    Q_OBJECT
public:
    // A busy day writes a few thousand lines of about 80 bytes, under a megabyte; a connection
    // dropped every few seconds all day long writes some megabytes. 256 MiB is far beyond both.
    static constexpr qint64 DailyFileBytes = 256LL * 1024 * 1024;

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
    // For tests: a logger with a bound of its own.
    Logger(qint64 dailyFileBytes, QObject *parent = nullptr);
    void run() override;
    // The day whose file takes the lines written now.
    virtual QDate today() const;

private:
    void writeQueuedLines();
    void writeLines(const QStringList &lines);

    const qint64 dailyFileBytes = DailyFileBytes;
    QStringList queue;
    QMutex mutex;
    // Held while lines are taken from the queue and written, so the writer thread and flush()
    // never write out of order.
    QMutex writeMutex;
    // The day whose file reached its bound in this run; guarded by writeMutex.
    QDate fullDay;
    // Cleared when the "Logs" folder cannot be made: from then on lines reach the journal only.
    std::atomic_bool fileEnabled{true};
};
