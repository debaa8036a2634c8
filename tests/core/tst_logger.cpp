#include "logger.h"
#include "testmain.h"

namespace {

// A logger with small bounds and a day of the test's choosing, whose thread never runs: its
// lines wait until flush().
class BoundedLogger : public Logger
{
public:
    BoundedLogger(qint64 dailyFileBytes, int queuedLineBound) : Logger(dailyFileBytes, queuedLineBound) {}
    QDate day;

protected:
    QDate today() const override { return day; }
};

// The last field of each line of a day's file.
QStringList lastFields(const QDate &day)
{
    QFile file(Logger::fileNameFor(day));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList fields;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        fields << line.section(QLatin1Char('\t'), -1);
    return fields;
}

} // namespace

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

    // Script: each word is logged as a message; "|" writes what waits, ">" turns to the next day.
    void boundsEndWithOneLine_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<qint64>("dailyBytes"); // a line "<time>\tT\ta0" is 29 bytes
        QTest::addColumn<int>("queuedLines");
        QTest::addColumn<int>("existingBytes"); // in the first day's file before the run
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<QStringList>("firstDay");
        QTest::addColumn<QStringList>("nextDay");
        const QString notice = QStringLiteral("Logs/%1.log has reached 100 bytes: the rest of today's lines are not written");
        QTest::newRow("the day's file stops at its bound, the next day's starts afresh")
            << QDate(2024, 3, 14) << qint64(100) << 100 << 0 << "a0 a1 a2 a3 a4 | b0 | > c0 |"
            << QStringList{"a0", "a1", "a2", "a3", "a4", notice.arg("2024-03-14"), "b0", "c0"}
            << QStringList{"a0", "a1", "a2", notice.arg("2024-03-14")} << QStringList{"c0"};
        QTest::newRow("a file begun by an earlier run of the day counts toward the bound")
            << QDate(2024, 4, 14) << qint64(100) << 100 << 90 << "a0 a1 |"
            << QStringList{"a0", "a1", notice.arg("2024-04-14")} << QStringList{QString(89, 'x'), notice.arg("2024-04-14")} << QStringList{};
        QTest::newRow("lines beyond a full queue are counted, not written")
            << QDate(2024, 5, 14) << qint64(1000) << 2 << 0 << "a0 a1 a2 a3 | b0 |"
            << QStringList{"a0", "a1", "a2", "a3", "2 lines came faster than the log file took them and are not written", "b0"}
            << QStringList{"a0", "a1", "2 lines came faster than the log file took them and are not written", "b0"} << QStringList{};
    }
    void boundsEndWithOneLine()
    {
        QFETCH(QDate, day);
        QFETCH(qint64, dailyBytes);
        QFETCH(int, queuedLines);
        QFETCH(int, existingBytes);
        QFETCH(QString, script);
        if (existingBytes > 0) {
            QVERIFY(QDir().mkpath(QStringLiteral("Logs")));
            QFile existing(Logger::fileNameFor(day));
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write(QByteArray(existingBytes - 1, 'x') + '\n');
        }
        BoundedLogger logger(dailyBytes, queuedLines);
        logger.day = day;
        QSignalSpy spy(&logger, &Logger::logMessage);
        for (const QString &word : script.split(QLatin1Char(' '))) {
            if (word == QLatin1String("|"))
                logger.flush();
            else if (word == QLatin1String(">"))
                logger.day = day.addDays(1);
            else
                logger.log(QStringLiteral("T"), word);
        }
        QStringList journal;
        for (const QList<QVariant> &line : spy)
            journal << line.at(2).toString();
        QTEST(journal, "journal");
        QTEST(lastFields(day), "firstDay");
        QTEST(lastFields(day.addDays(1)), "nextDay");
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
