#include "logger.h"
#include "testmain.h"

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    // The writer thread and flush() share the queue: whatever either wrote, the day's file holds
    // every line once, in the order logged. An empty message reaches neither journal nor file.
    void flushWritesEverythingInOrder()
    {
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

    void entryIsOneLine_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("line");
        const QString time = QStringLiteral("2024-03-05 09:07:02.045\t");
        QTest::newRow("forged line in a name") << "Terminal" << "1 try to connect to\n2026-01-01 00:00:00.000\tTrade\tFORGED" << time + "Terminal\t1 try to connect to 2026-01-01 00:00:00.000 Trade FORGED";
        QTest::newRow("carriage return and tab in the title") << "Net\r\twork" << "x" << time + "Net  work\tx";
        QTest::newRow("other control characters") << "T" << QString(QChar(0)).prepend('a') + QString::fromUtf16(u"b\u001bc\u007fd\u0085e\u2028f\u2029g") << time + "T\ta b c d e f g";
        QTest::newRow("printable text as it is") << "Network" << QString::fromUtf16(u"Connected to Srv-ä €%1") << time + QString::fromUtf16(u"Network\tConnected to Srv-ä €%1");
    }
    void entryIsOneLine()
    {
        QFETCH(QString, title);
        QFETCH(QString, message);
        QTEST(Logger::formatLine(QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2, 45)), title, message), "line");
    }
};

CORVANE_TEST_MAIN(TestLogger)
#include "tst_logger.moc"
