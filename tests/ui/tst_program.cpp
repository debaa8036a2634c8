// The built program, started as a trader starts it: from another folder, with saved settings,
// against the simulated trade server, and ended by a termination signal.
#include "logger.h"
#include "simtradeserver.h"
#include "testmain.h"

#include <QProcess>

using simbroker::SimTradeServer;

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void logsInByItselfAndSavesOnTermination()
    {
        // The test executables live in <build>/tests, the program in <build>.
        const QString root = QDir::currentPath();
        QVERIFY(QDir().mkpath(QStringLiteral("app")) && QDir().mkpath(QStringLiteral("elsewhere")));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/../ClientTerminal", root + "/app/ClientTerminal"));

        SimTradeServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.55.2.1")), 0));
        server.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        QSignalSpy closeFrames(&server, &SimTradeServer::clientCloseFrame);
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client")); // XDG_CONFIG_HOME is inherited
        for (const auto &[key, value] : QList<QPair<QString, QString>>{
                 {"account", "1001"}, {"word", "pw1001"}, {"server", server.url().toString()}, {"server_name", "Taldrex-Sim"}})
            settings.setValue(key, value);
        settings.sync();

        QProcess terminal;
        const QDate startDay = QDate::currentDate();
        terminal.setWorkingDirectory(root + QStringLiteral("/elsewhere"));
        terminal.setProcessChannelMode(QProcess::ForwardedChannels);
        terminal.start(root + QStringLiteral("/app/ClientTerminal"), QStringList());
        QVERIFY(terminal.waitForStarted());
        // The account refresh follows an accepted login, as its handling's last request: the
        // workspace is loaded by then.
        QTRY_VERIFY_WITH_TIMEOUT(!server.receivedRequests(4).isEmpty(), 15000);

        terminal.terminate();
        QVERIFY(terminal.waitForFinished(15000) && terminal.exitStatus() == QProcess::NormalExit && !terminal.exitCode());
        QTRY_VERIFY(!closeFrames.isEmpty() && closeFrames.first().at(1).toInt() == 1000);

        QString text; // of the day it started and the day it ended
        for (const QDate &day : {startDay, QDate::currentDate()}) {
            QFile log(root + QStringLiteral("/app/") + Logger::fileNameFor(day));
            text += log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        }
        const int started = text.indexOf(QStringLiteral("\tTerminal\tStarted"));
        QVERIFY2(started >= 0 && text.indexOf(QStringLiteral("\tTerminal\tClosed")) > started, qPrintable(text));
        QVERIFY(QFileInfo(root + QStringLiteral("/app/config/Taldrex-Sim/1001/windowState")).isFile());
    }

    // The program dies in the middle of its closing save (its files may grow to 16 KiB, and
    // writing past that kills it): the workspace file it was writing keeps its old content whole.
    void killedSaveKeepsTheOldFile()
    {
        const QString root = QDir::currentPath();
        QVERIFY(QDir().mkpath(QStringLiteral("killed/config/Taldrex-Sim/1001")));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/../ClientTerminal", root + "/killed/ClientTerminal"));
        QByteArray symbols; // 64 KiB of market-watch symbols, kept as restored
        for (int i = 0; symbols.size() < 64 * 1024; ++i)
            symbols += "SYMBOL" + QByteArray::number(i) + "\n";
        QFile symbolsFile(root + QStringLiteral("/killed/config/Taldrex-Sim/1001/symbols"));
        QVERIFY(symbolsFile.open(QIODevice::WriteOnly) && symbolsFile.write(symbols) == symbols.size());
        symbolsFile.close();

        SimTradeServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.55.2.2")), 0));
        server.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
        for (const auto &[key, value] : QList<QPair<QString, QString>>{
                 {"account", "1001"}, {"word", "pw1001"}, {"server", server.url().toString()}, {"server_name", "Taldrex-Sim"}})
            settings.setValue(key, value);
        settings.sync();

        // The sound client would map a shared-memory file far beyond the limit at start.
        QFile soundConfig(root + QStringLiteral("/killed/sound.conf"));
        QVERIFY(soundConfig.open(QIODevice::WriteOnly)
                && soundConfig.write("enable-shm = no\nenable-memfd = no\nautospawn = no\n") > 0);
        soundConfig.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PULSE_CLIENTCONFIG"), soundConfig.fileName());

        QProcess terminal;
        terminal.setProcessEnvironment(environment);
        terminal.setWorkingDirectory(root + QStringLiteral("/killed"));
        terminal.setProcessChannelMode(QProcess::ForwardedChannels);
        terminal.start(QStringLiteral("prlimit"), {QStringLiteral("--fsize=16384"), QStringLiteral("--core=0"), QStringLiteral("--"),
                                                   root + QStringLiteral("/killed/ClientTerminal")});
        QVERIFY(terminal.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!server.receivedRequests(4).isEmpty(), 15000);
        terminal.terminate();
        QVERIFY(terminal.waitForFinished(15000));
        QCOMPARE(terminal.exitStatus(), QProcess::CrashExit); // the save did not get to its end

        QVERIFY(symbolsFile.open(QIODevice::ReadOnly));
        QCOMPARE(symbolsFile.readAll(), symbols);
    }
};

CORVANE_TEST_GUI_MAIN(TestProgram)
#include "tst_program.moc"
