// The built program, started as a trader starts it: from another folder, with saved settings,
// against the simulated trade server, and ended by a termination signal.
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
        const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../ClientTerminal");
        const QString root = QDir::currentPath();
        QVERIFY(QDir().mkpath(QStringLiteral("app")) && QDir().mkpath(QStringLiteral("elsewhere")));
        QVERIFY2(QFile::copy(built, root + QStringLiteral("/app/ClientTerminal")), qPrintable(built));

        SimTradeServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.55.2.1")), 0));
        server.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        QSignalSpy logins(&server, &SimTradeServer::loginHandled);
        QSignalSpy closeFrames(&server, &SimTradeServer::clientCloseFrame);
        {
            QSettings settings(root + QStringLiteral("/xdg/Taldrex/Client.conf"), QSettings::IniFormat);
            settings.setValue(QStringLiteral("account"), QStringLiteral("1001"));
            settings.setValue(QStringLiteral("word"), QStringLiteral("pw1001"));
            settings.setValue(QStringLiteral("server"), server.url().toString());
            settings.setValue(QStringLiteral("server_name"), QStringLiteral("Taldrex-Sim"));
        }

        QProcess terminal;
        terminal.setWorkingDirectory(root + QStringLiteral("/elsewhere"));
        terminal.setProcessChannelMode(QProcess::ForwardedChannels);
        terminal.start(root + QStringLiteral("/app/ClientTerminal"), QStringList());
        QVERIFY(terminal.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 15000);
        QVERIFY(logins.first().at(2).toBool());
        // The account refresh is the login handling's last request: the workspace is loaded by then.
        QTRY_VERIFY_WITH_TIMEOUT(!server.receivedRequests(4).isEmpty(), 15000);

        terminal.terminate();
        QVERIFY(terminal.waitForFinished(15000));
        QCOMPARE(terminal.exitStatus(), QProcess::NormalExit);
        QCOMPARE(terminal.exitCode(), 0);
        QTRY_VERIFY(!closeFrames.isEmpty());
        QCOMPARE(closeFrames.first().at(1).toInt(), 1000);

        const QDir logs(root + QStringLiteral("/app/Logs")); // one file per day, named by its date
        QString text;
        for (const QString &name : logs.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name)) {
            QFile log(logs.filePath(name));
            text += log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        }
        const int started = text.indexOf(QStringLiteral("\tTerminal\tStarted"));
        QVERIFY2(started >= 0 && text.indexOf(QStringLiteral("\tTerminal\tClosed")) > started, qPrintable(text));
        QVERIFY(QFileInfo(root + QStringLiteral("/app/config/Taldrex-Sim/1001/windowState")).isFile());
    }
};

CORVANE_TEST_GUI_MAIN(TestProgram)
#include "tst_program.moc"
