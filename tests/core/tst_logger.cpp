#include "logger.h"
#include "testmain.h"

#include <QFile>
#include <QSignalSpy>

class TestLogger : public QObject
{
    Q_OBJECT
private:
    static QStringList fileLines()
    {
        QFile file(Logger::fileNameFor(QDate::currentDate()));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void lineFormat_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("line");
        QTest::newRow("started") << QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2, 45)) << "Terminal" << "Started"
                                 << "2024-03-05 09:07:02.045\tTerminal\tStarted";
        QTest::newRow("empty title") << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999)) << "" << "x"
                                     << "2024-12-31 23:59:59.999\t\tx";
        QTest::newRow("afternoon") << QDateTime(QDate(2025, 1, 2), QTime(15, 0)) << "Network" << "Connected to A"
                                   << "2025-01-02 15:00:00.000\tNetwork\tConnected to A";
    }
    void lineFormat()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QString, line);
        QCOMPARE(Logger::formatLine(time, title, message), line);
    }

    void fileName()
    {
        QCOMPARE(Logger::fileNameFor(QDate(2024, 3, 5)), QStringLiteral("Logs/2024-03-05.log"));
        QCOMPARE(Logger::fileNameFor(QDate(2025, 11, 30)), QStringLiteral("Logs/2025-11-30.log"));
    }

    void logEmitsAndWrites()
    {
        Logger *logger = Logger::instance();
        QCOMPARE(Logger::instance(), logger);
        QSignalSpy spy(logger, &Logger::logMessage);
        logger->log(QStringLiteral("Terminal"), QString());
        QCOMPARE(spy.count(), 0);

        const QDateTime before = QDateTime::currentDateTime();
        logger->log(QStringLiteral("Terminal"), QStringLiteral("Started"));
        QCOMPARE(spy.count(), 1);
        const QDateTime stamp = spy.first().at(0).toDateTime();
        QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime());
        QCOMPARE(spy.first().at(1).toString(), QStringLiteral("Terminal"));
        QCOMPARE(spy.first().at(2).toString(), QStringLiteral("Started"));

        const QString expected = Logger::formatLine(stamp, QStringLiteral("Terminal"), QStringLiteral("Started"));
        QTRY_VERIFY_WITH_TIMEOUT(fileLines().contains(expected), 5000);
    }

    // What is still queued when the program ends is written by flush(), in order, at once.
    void flushWritesEverythingInOrder()
    {
        Logger *logger = Logger::instance();
        QStringList expected;
        QSignalSpy spy(logger, &Logger::logMessage);
        for (int i = 0; i < 500; ++i)
            logger->log(QStringLiteral("Network"), QStringLiteral("line %1").arg(i));
        for (const auto &args : qAsConst(spy))
            expected.append(Logger::formatLine(args.at(0).toDateTime(), args.at(1).toString(), args.at(2).toString()));
        logger->flush();
        const QStringList lines = fileLines();
        QVERIFY(lines.size() >= expected.size());
        QCOMPARE(lines.mid(lines.size() - expected.size()), expected);
    }

    void linesFromManyThreadsAllArrive()
    {
        Logger *logger = Logger::instance();
        logger->flush();
        const int before = fileLines().size();
        QList<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads.append(QThread::create([logger, t] {
                for (int i = 0; i < 100; ++i)
                    logger->log(QStringLiteral("T%1").arg(t), QStringLiteral("%1").arg(i));
            }));
            threads.last()->start();
        }
        for (QThread *thread : qAsConst(threads)) {
            QVERIFY(thread->wait(5000));
            delete thread;
        }
        logger->flush();
        const QStringList lines = fileLines().mid(before);
        QCOMPARE(lines.size(), 400);
        // Each thread's lines keep their order.
        for (int t = 0; t < 4; ++t) {
            int next = 0;
            for (const QString &line : lines) {
                const QStringList cells = line.split(QLatin1Char('\t'));
                if (cells.value(1) == QStringLiteral("T%1").arg(t))
                    QCOMPARE(cells.value(2).toInt(), next++);
            }
            QCOMPARE(next, 100);
        }
    }
};

CORVANE_TEST_MAIN(TestLogger)
#include "tst_logger.moc"
