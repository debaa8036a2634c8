#include "logger.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QTimer>

namespace {

const QString LogFolder = QStringLiteral("Logs");

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

Logger *Logger::instance()
{
    // Never deleted: lines may be logged until the very end of the process.
    static Logger *const logger = [] {
        auto *created = new Logger;
        created->start();
        return created;
    }();
    return logger;
}

Logger::Logger(QObject *parent)
    : QThread(parent)
{
}

Logger::~Logger()
{
    quit();
    wait();
    flush();
}

QString Logger::formatLine(const QDateTime &time, const QString &title, const QString &message)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1Char('\t')
        + oneLine(title) + QLatin1Char('\t') + oneLine(message);
}

QString Logger::fileNameFor(const QDate &date)
{
    return LogFolder + QLatin1Char('/') + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

void Logger::log(const QString &title, const QString &message)
{
    if (message.isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const QString line = formatLine(now, title, message);
    emit logMessage(now, title, message);
    if (!fileEnabled.load())
        return;
    QMutexLocker locker(&mutex);
    queue.append(line);
}

void Logger::run()
{
    if (!QDir().mkpath(LogFolder)) {
        fileEnabled = false;
        QMutexLocker locker(&mutex);
        queue.clear();
        return;
    }
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, &Logger::writeQueuedLines, Qt::DirectConnection);
    timer.start(10);
    exec();
}

void Logger::writeQueuedLines()
{
    // Everything queued goes out at each tick: one line per tick would let a burst trail the
    // journal by seconds and grow the queue without bound.
    QMutexLocker writeLocker(&writeMutex);
    QStringList lines;
    {
        QMutexLocker locker(&mutex);
        lines.swap(queue);
    }
    writeLines(lines);
}

void Logger::flush()
{
    writeQueuedLines();
}

void Logger::writeLines(const QStringList &lines)
{
    if (lines.isEmpty() || !QDir().mkpath(LogFolder))
        return;
    // The day of writing picks the file, so a line written after midnight opens the new day.
    QFile file(fileNameFor(QDate::currentDate()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    for (const QString &line : lines)
        out << line << '\n';
}
