#include "logger.h"
#include "testmain.h"

#include <QFile>
#include <QSignalSpy>

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    // The writer thread and flush() share the queue: whatever either wrote, the day's file holds
    // every line once, in the order logged. An empty message reaches neither journal nor file.
    void flushWritesEverythingInOrder()
    {
        QCOMPARE(Logger::formatLine(QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2, 45)), QStringLiteral("Terminal"), QStringLiteral("Started")),
                 QStringLiteral("2024-03-05 09:07:02.045\tTerminal\tStarted"));
        Logger *logger = Logger::instance();
        QSignalSpy spy(logger, &Logger::logMessage);
        logger->log(QStringLiteral("Terminal"), QString());
        QStringList expected;
        for (int i = 0; i < 500; ++i) {
            logger->log(QStringLiteral("Network"), QStringLiteral("line %1").arg(i));
            expected.append(Logger::formatLine(spy.last().at(0).toDateTime(), QStringLiteral("Network"), QStringLiteral("line %1").arg(i)));
        }
        QCOMPARE(spy.count(), 500);
        logger->flush();
        QFile file(QDate::currentDate().toString(QStringLiteral("'Logs/'yyyy-MM-dd'.log'")));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(QString::fromUtf8(file.readAll()), expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
};

CORVANE_TEST_MAIN(TestLogger)
#include "tst_logger.moc"
