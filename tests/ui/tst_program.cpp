// The built program, started as a trader starts it: from another folder, with saved settings,
// against the simulated trade server, and ended by a termination signal.
#include "logger.h"
#include "simtradeserver.h"
#include "testmain.h"

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
};

CORVANE_TEST_GUI_MAIN(TestProgram)
#include "tst_program.moc"
