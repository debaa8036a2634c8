#pragma once

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>

// The terminal's journal: each line goes at once to the journal view (logMessage) and, through
// the logger's own thread, to the daily file Logs/yyyy-MM-dd.log. One logger per process.
class Logger : public QThread
{
    Q_OBJECT
public:
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
    void run() override;

private:
    void writeQueuedLines();
    void writeLines(const QStringList &lines);

    QStringList queue;
    QMutex mutex;
    // Held while lines are taken from the queue and written, so the writer thread and flush()
    // never write out of order.
    QMutex writeMutex;
    // Cleared when the "Logs" folder cannot be made: from then on lines reach the journal only.
    std::atomic_bool fileEnabled{true};
};
