#include "logger.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTextCodec>
#include <QTimer>

#include <utility>

namespace {

const QString LogFolder = QStringLiteral("Logs");
const QString TerminalSource = QStringLiteral("Terminal");

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

Logger::Logger(qint64 dailyFileBytes, int queuedLineBound, QObject *parent)
    : QThread(parent)
    , dailyFileBytes(dailyFileBytes)
    , queuedLineBound(queuedLineBound)
{
}

QDate Logger::today() const
{
    return QDate::currentDate();
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
    if (queue.size() >= queuedLineBound) {
        ++linesNotQueued;
        return;
    }
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
    int notQueued = 0;
    {
        QMutexLocker locker(&mutex);
        lines.swap(queue);
        std::swap(notQueued, linesNotQueued);
    }
    writeLines(lines, notQueued);
}

void Logger::flush()
{
    writeQueuedLines();
}

void Logger::writeLines(const QStringList &lines, int notQueued)
{
    if (lines.isEmpty() && notQueued == 0)
        return;
    // The day of writing picks the file, so a line written after midnight opens the new day.
    const QDate day = today();
    if (day == fullDay || !QDir().mkpath(LogFolder))
        return;
    QFile file(fileNameFor(day));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextCodec *const codec = QTextCodec::codecForLocale();
    qint64 size = file.size();
    // The first line that would carry the file past its bound, and every later line of the day,
    // are not written; the file and the journal say so once. A line end counts as one byte, also
    // where text mode writes two.
    const auto write = [&](const QString &line) {
        QByteArray bytes = codec->fromUnicode(line);
        bytes += '\n';
        if (size + bytes.size() > dailyFileBytes) {
            fullDay = day;
            const QDateTime now = QDateTime::currentDateTime();
            const QString message = QStringLiteral("%1 has reached %2: the rest of today's lines are not written")
                                        .arg(fileNameFor(day), QLocale::c().formattedDataSize(dailyFileBytes, 0));
            emit logMessage(now, TerminalSource, message);
            file.write(codec->fromUnicode(formatLine(now, TerminalSource, message)) + '\n');
            return false;
        }
        size += bytes.size();
        file.write(bytes);
        return true;
    };
    for (const QString &line : lines) {
        if (!write(line))
            return;
    }
    if (notQueued > 0) {
        const QDateTime now = QDateTime::currentDateTime();
        const QString message = QStringLiteral("%1 lines came faster than the log file took them and are not written")
                                    .arg(notQueued);
        emit logMessage(now, TerminalSource, message);
        write(formatLine(now, TerminalSource, message));
    }
}
