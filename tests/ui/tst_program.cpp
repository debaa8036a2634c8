// The built program, started as a trader starts it: from another folder, with saved settings,
// against the simulated trade server, and ended by a termination signal.
#include "simtradeserver.h"
#include "testmain.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

using simbroker::SimTradeServer;

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void logsInByItselfAndSavesOnTermination()
    {
        // The test executables live in <build>/tests, the program in <build>.
        const QString built = QDir(QCoreApplication::applicationDirPath())
                                  .absoluteFilePath(QStringLiteral("../ClientTerminal"));
        QVERIFY2(QFileInfo::exists(built), qPrintable(built + " was not built"));

        const QString root = QDir::currentPath();
        QVERIFY(QDir().mkpath(QStringLiteral("app")));
        QVERIFY(QDir().mkpath(QStringLiteral("elsewhere")));
        QVERIFY(QDir().mkpath(QStringLiteral("home/xdg")));
        const QString program = root + QStringLiteral("/app/ClientTerminal");
        QVERIFY(QFile::copy(built, program));

        SimTradeServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.55.2.1")), 0));
        server.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        QSignalSpy logins(&server, &SimTradeServer::loginHandled);
        QSignalSpy closeFrames(&server, &SimTradeServer::clientCloseFrame);

        const QString xdg = root + QStringLiteral("/home/xdg");
        {
            QSettings settings(xdg + QStringLiteral("/Taldrex/Client.conf"), QSettings::IniFormat);
            settings.setValue(QStringLiteral("account"), QStringLiteral("1001"));
            settings.setValue(QStringLiteral("word"), QStringLiteral("pw1001"));
            settings.setValue(QStringLiteral("server"), server.url().toString());
            settings.setValue(QStringLiteral("server_name"), QStringLiteral("Taldrex-Sim"));
        }

        QProcess terminal;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), xdg);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        terminal.setProcessEnvironment(environment);
        terminal.setWorkingDirectory(root + QStringLiteral("/elsewhere"));
        terminal.setProcessChannelMode(QProcess::MergedChannels);
        terminal.setStandardOutputFile(root + QStringLiteral("/terminal-output.txt"));
        terminal.start(program, QStringList());
        QVERIFY(terminal.waitForStarted());

        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 15000);
        QVERIFY(logins.first().at(2).toBool());
        // The refresh is the login handling's last request: the workspace is loaded by then.
        QTRY_VERIFY_WITH_TIMEOUT(!server.receivedRequests(4).isEmpty(), 15000);

        terminal.terminate();
        QVERIFY(terminal.waitForFinished(15000));
        QCOMPARE(terminal.exitStatus(), QProcess::NormalExit);
        QCOMPARE(terminal.exitCode(), 0);
        QTRY_VERIFY(!closeFrames.isEmpty());
        QCOMPARE(closeFrames.first().at(1).toInt(), 1000);

        const QDir logs(root + QStringLiteral("/app/Logs"));
        const QStringList files = logs.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
        QVERIFY2(!files.isEmpty(), "no log beside the program");
        QString log;
        for (const QString &name : files) {
            QFile file(logs.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            log += QString::fromUtf8(file.readAll());
        }
        QVERIFY2(log.contains(QStringLiteral("\tTerminal\tStarted")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("\tTerminal\tClosed")), qPrintable(log));
        QVERIFY(log.indexOf(QStringLiteral("Started")) < log.indexOf(QStringLiteral("Closed")));

        QVERIFY(QFileInfo(root + QStringLiteral("/app/config/Taldrex-Sim/1001/symbols")).isFile());
        QVERIFY(QFileInfo(root + QStringLiteral("/app/config/Taldrex-Sim/1001/windowState")).isFile());
        QVERIFY(!QDir(root + QStringLiteral("/elsewhere/Logs")).exists());
        QVERIFY(!QDir(root + QStringLiteral("/elsewhere/config")).exists());
    }
};

CORVANE_TEST_GUI_MAIN(TestProgram)
#include "tst_program.moc"
