#include "logger.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Forged = QStringLiteral("\n2026-01-01 00:00:00.000\tTrade\tFORGED");

QStringList todaysLines(const QString &folder = QStringLiteral("."))
{
    QFile file(folder + QLatin1Char('/') + Logger::fileNameFor(QDate::currentDate()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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

    void entryIsOneLine_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("line");
        const QString time = QStringLiteral("2024-03-05 09:07:02.045\t");
        QTest::newRow("forged line in a name") << "Terminal" << "1 try to connect to" + Forged << time + "Terminal\t1 try to connect to 2026-01-01 00:00:00.000 Trade FORGED";
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

    // A server name saved with a forged log line in it, through the client's own journal lines
    // to the day's file: every entry stays one line of three fields.
    void forgedServerNameStaysInItsLine()
    {
        simbroker::SimTradeServer server;
        server.addAccount(1001, QStringLiteral("pw"));
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.55.9.2")), 0));
        TradeClient client;
        client.connectToServer(server.url().toString(), 1001, QStringLiteral("pw"), QStringLiteral("Srv") + Forged);
        QTRY_VERIFY_WITH_TIMEOUT(client.isLoggedIn(), 5000);
        QVERIFY(client.shutdown(3000));
        Logger::instance()->flush();
        const QStringList lines = todaysLines();
        QVERIFY(lines.size() >= 3); // try to connect, connected, logged in
        const QRegularExpression entry(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\t(Terminal|Network)\\t[^\\t]+$"));
        for (const QString &line : lines)
            QVERIFY2(entry.match(line).hasMatch(), qPrintable(line));
        QVERIFY(lines.filter(QStringLiteral("1001 try to connect to Srv 2026-01-01 00:00:00.000 Trade FORGED")).size() == 1);
    }

    // The built program writes the lines still queued when its window is gone ("Closed" among
    // them) before it ends. Here the day's log is a pipe nobody reads yet, so the log thread hangs
    // on it holding the queue: a program that does not write out its queue at the end ends at
    // once and drops "Closed"; one that does waits until the pipe is read.
    void programWritesQueuedLinesAtItsEnd()
    {
        const QString root = QDir::currentPath() + QStringLiteral("/app");
        QVERIFY(QDir().mkpath(root + QStringLiteral("/Logs")));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/../ClientTerminal", root + "/ClientTerminal"));
        const QByteArray pipe = QFile::encodeName(root + QLatin1Char('/') + Logger::fileNameFor(QDate::currentDate()));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);

        simbroker::SimTradeServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.55.9.1")), 0));
        server.addAccount(1001, QStringLiteral("pw1001"));
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client")); // XDG_CONFIG_HOME is inherited
        for (const auto &[key, value] : QList<QPair<QString, QString>>{
                 {"account", "1001"}, {"word", "pw1001"}, {"server", server.url().toString()}, {"server_name", "Sim"}})
            settings.setValue(key, value);
        settings.sync();

        QProcess terminal;
        terminal.setProcessChannelMode(QProcess::ForwardedChannels);
        terminal.start(root + QStringLiteral("/ClientTerminal"), QStringList());
        QVERIFY(terminal.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!server.receivedRequests(4).isEmpty(), 15000); // logged in, settled
        terminal.terminate();
        const bool endedWithLinesQueued = terminal.waitForFinished(1000);

        // Read the pipe while the program writes into it and ends.
        const int fd = ::open(pipe.constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QByteArray text;
        const auto drain = [&] {
            char buffer[4096];
            for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
                text.append(buffer, int(got));
            return terminal.state() == QProcess::NotRunning;
        };
        QTRY_VERIFY_WITH_TIMEOUT(drain(), 15000);
        drain();
        ::close(fd);
        QVERIFY2(!endedWithLinesQueued, "the program ended with journal lines still queued");
        QVERIFY2(text.contains("\tTerminal\tStarted\n") && text.contains("\tTerminal\tClosed\n"), text.constData());
        QCOMPARE(terminal.exitCode(), 0);
    }
};

CORVANE_TEST_MAIN(TestLogger)
#include "tst_logger.moc"
