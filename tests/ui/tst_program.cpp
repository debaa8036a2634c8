// The built program, started as a trader starts it: from another folder, with saved settings,
// against the simulated trade server, and ended by a termination signal.
#include "brokerprocess.h"
#include "logger.h"
#include "loopback.h"
#include "programend.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <fcntl.h>
#include <sys/stat.h>

using corvane_test::BrokerProcess;
using corvane_test::MustHappenMs;
using simbroker::SimTradeServer;

namespace {

// The simulated broker as scripts/run starts it, on a loopback host of this process's own: the
// program's connection never waits on this process.
bool startBroker(BrokerProcess &broker)
{
    // No price stream: nothing the server owes the program is on its way when it closes.
    return broker.start({"--host", corvane_test::ownLoopbackHost(corvane_test::Loopback::Broker), "--port", "0", "--broker-list-port", "0",
                         "--account-service-port", "0", "--interval", QString::number(24 * 3600 * 1000), "--events"});
}

// A copy of the built program (the tests live in <build>/tests, it in <build>) in `folder`,
// with the settings that log demo account 1001 in to `broker` by themselves; `terminal` is set to
// run in `workingFolder` with the output forwarded, asking for the broker list on a host of this
// process's own where nothing answers.
QString installProgram(const QString &folder, BrokerProcess &broker, QProcess &terminal, const QString &workingFolder)
{
    terminal.setWorkingDirectory(workingFolder);
    terminal.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CORVANE_BROKER_LIST_HOST"), corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet));
    terminal.setProcessEnvironment(environment);
    const QString program = QDir::currentPath() + QLatin1Char('/') + folder + QStringLiteral("/ClientTerminal");
    if (!QDir().mkpath(folder + QStringLiteral("/config/Taldrex-Sim/1001")) || !QDir().mkpath(folder + QStringLiteral("/Logs"))
        || !QFile::copy(QCoreApplication::applicationDirPath() + "/../ClientTerminal", program) || !startBroker(broker))
        return QString();
    QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client")); // XDG_CONFIG_HOME is inherited
    for (const auto &[key, value] : QList<QPair<QString, QString>>{
             {"account", "1001"}, {"word", "demo1001"}, {"server", broker.url}, {"server_name", "Taldrex-Sim"}})
        settings.setValue(key, value);
    return program;
}

// The kernel function each thread of process `pid` sleeps in, by thread name ("main" for the
// main thread); a thread that runs shows "0".
QMultiHash<QString, QByteArray> sleepingIn(qint64 pid)
{
    QMultiHash<QString, QByteArray> threads;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(tid + QStringLiteral("/comm"))), wait(tasks.filePath(tid + QStringLiteral("/wchan")));
        if (name.open(QIODevice::ReadOnly) && wait.open(QIODevice::ReadOnly))
            threads.insert(tid == QString::number(pid) ? QStringLiteral("main") : QString::fromUtf8(name.readAll().trimmed()),
                           wait.readAll());
    }
    return threads;
}

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    // Terminated, it saves its workspace, closes with code 1000 and writes the lines still
    // queued ("Closed" among them) before it ends. The day's log is a pipe nobody reads yet, so
    // the log thread hangs on it holding the queue: a program that does not write out its queue
    // at the end ends at once and drops "Closed"; one that does waits until the pipe is read.
    void logsInByItselfAndSavesOnTermination()
    {
        BrokerProcess broker;
        QProcess terminal;
        const QString program = installProgram(QStringLiteral("app"), broker, terminal, QStringLiteral("elsewhere"));
        QVERIFY(!program.isEmpty() && QDir().mkpath(QStringLiteral("elsewhere")));
        const QByteArray pipe = QFile::encodeName(QStringLiteral("app/") + Logger::fileNameFor(QDate::currentDate()));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        terminal.start(program, QStringList());
        // The account refresh follows an accepted login, as its handling's last request: the
        // workspace is loaded by then. The history of the four default charts, asked for last,
        // is cached once it has arrived: nothing the server owes the program is on its way when
        // it closes (a reply forwarded to it after it closed would make the relay drop the
        // connection before reading its close frame).
        QTRY_VERIFY_WITH_TIMEOUT(broker.requests.contains(4), MustHappenMs);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(QStringLiteral("app/config/Taldrex-Sim/1001/ChartHistory")).entryList(QDir::Files),
                                  QStringList({"EURUSD_60", "GBPUSD_60", "USDCHF_60", "USDJPY_60"}), MustHappenMs);
        terminal.terminate();
        // A program that writes out its queue at the end is then found, in three looks in a row,
        // with its main thread waiting on a lock, its log thread waiting for the pipe to be
        // opened, no thread running and no close frame sent; one that does not has ended.
        int waitingOnTheLog = 0;
        QVERIFY(QTest::qWaitFor([&] {
            const auto threads = sleepingIn(terminal.processId());
            const bool waiting = threads.value("main").startsWith("futex") && threads.value("Logger") == "wait_for_partner"
                && !threads.values().contains("0") && broker.closeCodes.isEmpty();
            waitingOnTheLog = waiting ? waitingOnTheLog + 1 : 0;
            return terminal.state() == QProcess::NotRunning || waitingOnTheLog == 3;
        }, MustHappenMs));
        const bool endedWithLinesQueued = terminal.state() == QProcess::NotRunning;

        QFile log(QString::fromLocal8Bit(pipe));
        QVERIFY(log.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        ::fcntl(log.handle(), F_SETFL, O_NONBLOCK);
        QByteArray text;
        QTRY_VERIFY_WITH_TIMEOUT((text += log.readAll(), terminal.state() == QProcess::NotRunning), MustHappenMs);
        text += log.readAll();
        QVERIFY2(!endedWithLinesQueued, "the program ended with journal lines still queued");
        QVERIFY2(text.contains("\tTerminal\tStarted\n") && text.contains("\tTerminal\tClosed\n"), text.constData());
        QVERIFY(terminal.exitStatus() == QProcess::NormalExit && !terminal.exitCode());
        QTRY_COMPARE_WITH_TIMEOUT(broker.closeCodes, QList<int>{1000}, MustHappenMs);
        QVERIFY(QFileInfo(QStringLiteral("app/config/Taldrex-Sim/1001/windowState")).isFile());
    }

    // At its end the program frees its client once the client's thread has ended: the program's
    // own end is run on a logged-in client.
    void clientFreedAtTheEnd()
    {
        SimTradeServer server;
        QVERIFY(server.listen(QHostAddress(corvane_test::ownLoopbackHost(corvane_test::Loopback::Broker)), 0));
        server.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        QSignalSpy logins(&server, &SimTradeServer::loginHandled);
        QPointer<TradeClient> client = new TradeClient;
        client->connectToServer(server.url().toString(), 1001, QStringLiteral("pw1001"), QStringLiteral("Taldrex-Sim"));
        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, MustHappenMs);
        endProgram(client);
        QVERIFY(client.isNull());
    }

    // The program dies in the middle of its closing save (its files may grow to 16 KiB, and
    // writing past that kills it): the workspace file it was writing keeps its old content whole.
    void killedSaveKeepsTheOldFile()
    {
        BrokerProcess broker;
        QProcess terminal;
        const QString program = installProgram(QStringLiteral("killed"), broker, terminal, QStringLiteral("killed"));
        QVERIFY(!program.isEmpty());
        QByteArray symbols; // 64 KiB of market-watch symbols, kept as restored
        for (int i = 0; symbols.size() < 64 * 1024; ++i)
            symbols += "SYMBOL" + QByteArray::number(i) + "\n";
        QFile symbolsFile(QStringLiteral("killed/config/Taldrex-Sim/1001/symbols"));
        QVERIFY(symbolsFile.open(QIODevice::WriteOnly) && symbolsFile.write(symbols) == symbols.size() && symbolsFile.flush());
        symbolsFile.close();
        // The sound client would map a shared-memory file far beyond the limit at start.
        QFile soundConfig(QStringLiteral("killed/sound.conf"));
        QVERIFY(soundConfig.open(QIODevice::WriteOnly) && soundConfig.write("enable-shm = no\nenable-memfd = no\nautospawn = no\n") > 0);
        soundConfig.close();
        QProcessEnvironment environment = terminal.processEnvironment();
        environment.insert(QStringLiteral("PULSE_CLIENTCONFIG"), QFileInfo(soundConfig).absoluteFilePath());
        terminal.setProcessEnvironment(environment);
        terminal.start(QStringLiteral("prlimit"), {QStringLiteral("--fsize=16384"), QStringLiteral("--core=0"), QStringLiteral("--"), program});
        QTRY_VERIFY_WITH_TIMEOUT(broker.requests.contains(4), MustHappenMs);
        terminal.terminate();
        QVERIFY(terminal.waitForFinished(MustHappenMs) && terminal.exitStatus() == QProcess::CrashExit); // the save did not end
        QVERIFY(symbolsFile.open(QIODevice::ReadOnly) && symbolsFile.readAll() == symbols);
    }
};

CORVANE_TEST_GUI_MAIN(TestProgram)
#include "tst_program.moc"
