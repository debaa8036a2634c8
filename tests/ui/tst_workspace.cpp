// The per-account workspace files: their lines, a save/restore round trip and unsafe folders.
#include "client_terminal.h"
#include "testmain.h"
#include "tradeclient.h"
#include "workspacefiles.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

} // namespace

class TestWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(QStringLiteral("config")).removeRecursively();
        Client_Terminal::setBrokerListHost(QStringLiteral("127.0.0.1"));
        client = new TradeClient;
        window = new Client_Terminal(client);
    }

    void cleanup()
    {
        delete window;
        delete client;
    }

    void chartsLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("restores");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<bool>("oneClick");
        QTest::addColumn<int>("period");

        QTest::newRow("full line") << "EURUSD,1,4,23,792,470,60" << true << "EURUSD" << true << 60;
        QTest::newRow("no period") << "EURUSD,0,0,0,800,500" << true << "EURUSD" << false << 1;
        QTest::newRow("eight fields") << "EURUSD,0,0,0,800,500,240,9" << true << "EURUSD" << false << 1;
        QTest::newRow("panel flag not 1") << "GBPUSD,yes,0,0,800,500,5" << true << "GBPUSD" << false << 5;
        // A period below one minute would divide by zero at the chart's first tick.
        QTest::newRow("period 0") << "EURUSD,1,0,0,800,500,0" << true << "EURUSD" << true << 1;
        QTest::newRow("negative period") << "EURUSD,1,0,0,800,500,-5" << true << "EURUSD" << true << 1;
        QTest::newRow("period not a number") << "EURUSD,1,0,0,800,500,H1" << true << "EURUSD" << true << 1;
        QTest::newRow("empty period") << "EURUSD,1,0,0,800,500," << true << "EURUSD" << true << 1;
        QTest::newRow("four fields") << "EURUSD,1,0,0" << false << "" << false << 0;
        QTest::newRow("no symbol") << ",1,0,0,800,500,60" << false << "" << false << 0;
        QTest::newRow("empty line") << "" << false << "" << false << 0;
    }

    void chartsLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, restores);
        Workspace::ChartEntry entry;
        QCOMPARE(Workspace::parseChartsLine(line, &entry), restores);
        if (!restores)
            return;
        QFETCH(QString, symbol);
        QFETCH(bool, oneClick);
        QFETCH(int, period);
        QCOMPARE(entry.symbol, symbol);
        QCOMPARE(entry.oneClickVisible, oneClick);
        QCOMPARE(entry.period, period);
        Workspace::ChartEntry again;
        QVERIFY(Workspace::parseChartsLine(Workspace::chartsLine(entry), &again));
        QCOMPARE(again, entry);
    }

    void symbolsFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("symbols");
        QTest::newRow("one per line") << "EURUSD\nGBPUSD\n" << QStringList{"EURUSD", "GBPUSD"};
        QTest::newRow("one line") << "EURUSD GBPUSD" << QStringList{"EURUSD", "GBPUSD"};
        QTest::newRow("windows line ends") << "EURUSD\r\nGBPUSD\r\n" << QStringList{"EURUSD", "GBPUSD"};
        QTest::newRow("blank inside a name") << "EUR USD\n" << QStringList{"EUR", "USD"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void symbolsFile()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, symbols);
        QCOMPARE(Workspace::parseSymbolsFile(text), symbols);
    }

    void roundTrip()
    {
        const QString folder = QStringLiteral("config/Taldrex-Demo/1001/");
        writeFile(folder + "symbols", "GBPUSD\nEURUSD USDJPY\n");
        writeFile(folder + "charts",
                  "EURUSD,1,4,23,792,470,60\r\nGBPUSD,0,0,0,800,500,5\nbroken\n"
                  "EURUSD,0,0,0,10,10,240\nUSDJPY,0,0,0,800,500,0\n");

        window->restoreLayout(1001, QStringLiteral("Taldrex-Demo"));
        QCOMPARE(window->symbolStorage()->symbolList(), QStringList({"GBPUSD", "EURUSD", "USDJPY"}));

        window->resize(900, 700);
        window->saveLayout(1001, QStringLiteral("secret"), QStringLiteral("Taldrex-Demo"),
                           QStringLiteral("ws://127.0.0.9:9001"), {"USDJPY", "EURUSD"});
        QCOMPARE(readAll(folder + "login"), QStringLiteral("1001;secret;ws://127.0.0.9:9001"));
        QCOMPARE(readAll(folder + "symbols"), QStringLiteral("USDJPY\nEURUSD\n"));
        // The charts come back as a restore opens them: each symbol once, a sound period.
        QCOMPARE(readAll(folder + "charts"),
                 QStringLiteral("EURUSD,1,4,23,792,470,60\nGBPUSD,0,0,0,800,500,5\n"
                                "USDJPY,0,0,0,800,500,1\n"));
        QVERIFY(QFileInfo(folder + "layout").size() > 0);
        QVERIFY(QFileInfo(folder + "windowState").size() > 0);

        // A save without a password leaves the saved login as it was.
        window->saveLayout(1001, QString(), QStringLiteral("Taldrex-Demo"),
                           QStringLiteral("ws://elsewhere:1"), {});
        QCOMPARE(readAll(folder + "login"), QStringLiteral("1001;secret;ws://127.0.0.9:9001"));
        QCOMPARE(readAll(folder + "symbols"), QString());

        // The geometry restores in a fresh window.
        delete window;
        window = new Client_Terminal(client);
        window->restoreLayout(1001, QStringLiteral("Taldrex-Demo"));
        QCOMPARE(window->size(), QSize(900, 700));
    }

    void restoreWithoutFolderKeepsTheList()
    {
        window->symbolStorage()->setSymbols({"EURUSD"}, false);
        window->restoreLayout(4242, QStringLiteral("Taldrex-Demo"));
        QCOMPARE(window->symbolStorage()->symbolList(), QStringList({"EURUSD"}));
        QVERIFY(!QDir(QStringLiteral("config/Taldrex-Demo/4242")).exists());
    }

    void unsafeServerNamesKeepNoWorkspace_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("parent") << "..";
        QTest::newRow("current") << ".";
        QTest::newRow("slash") << "a/b";
        QTest::newRow("root") << "/";
        QTest::newRow("backslash") << "a\\b";
        QTest::newRow("empty") << "";
    }

    void unsafeServerNamesKeepNoWorkspace()
    {
        QFETCH(QString, server);
        window->saveLayout(1001, QStringLiteral("secret"), server, QStringLiteral("ws://h:1"), {"EURUSD"});
        QVERIFY(!QDir(QStringLiteral("config")).exists());
        QVERIFY(!QDir(QStringLiteral("1001")).exists());

        // A folder planted outside the workspace tree is never read either.
        writeFile(QStringLiteral("1001/symbols"), "PLANTED\n");
        window->restoreLayout(1001, server);
        QVERIFY(window->symbolStorage()->symbolList().isEmpty());
        QDir(QStringLiteral("1001")).removeRecursively();
    }

    void loginTakesOverTheAccountAndItsWorkspace()
    {
        const QString folder = QStringLiteral("config/Taldrex-Live/1001/");
        writeFile(folder + "symbols", "EURUSD GBPUSD\n");
        writeFile(folder + "charts", "EURUSD,1,0,0,800,500,60\n");
        client->serverName = QStringLiteral("Taldrex-Live");
        client->password = QStringLiteral("pw");

        window->onLogin(QJsonObject{{"res_code", 1}, {"state", 1}, {"login", 1001},
                                    {"name", "Test Client"}, {"group", "demo"}});
        QCOMPARE(window->windowTitle(), QStringLiteral("Test Client(1001, Taldrex-Live)"));
        QCOMPARE(window->accountLogin(), 1001);
        QCOMPARE(window->accountGroup(), QStringLiteral("demo"));
        QCOMPARE(window->symbolStorage()->symbolList(), QStringList({"EURUSD", "GBPUSD"}));
        QVERIFY(window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->isEnabled());
        QVERIFY(window->findChild<QAction *>(QStringLiteral("actionChangePassword"))->isEnabled());
        QVERIFY(!window->findChild<QAction *>(QStringLiteral("actionConnect"))->isEnabled());
        // The box "Save Password" is not ticked: nothing goes into the settings.
        QVERIFY(!QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).contains("account"));

        QFile::remove(folder + "charts");
        window->close(); // closing saves the loaded workspace
        QCOMPARE(readAll(folder + "charts"), QStringLiteral("EURUSD,1,0,0,800,500,60\n"));
        QCOMPARE(readAll(folder + "symbols"), QStringLiteral("EURUSD\nGBPUSD\n"));
        QVERIFY(!QFile::exists(folder + "login"));
    }

    void closingBeforeAnyLoginWritesNothing()
    {
        window->close();
        QVERIFY(!QDir(QStringLiteral("config")).exists());
    }

    void loginReplyWithoutNameOrAccount()
    {
        client->serverName = QStringLiteral("Taldrex-Live");
        window->onLogin(QJsonObject{{"res_code", 1}, {"state", 1}, {"login", 1001}});
        QCOMPARE(window->windowTitle(), QStringLiteral("(1001, Taldrex-Live)"));

        window->onLogin(QJsonObject{{"res_code", 1}, {"state", 1}});
        QCOMPARE(window->accountLogin(), 0);
        window->close(); // account 0 keeps no workspace
        QVERIFY(!QDir(QStringLiteral("config/Taldrex-Live/0")).exists());
    }

private:
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;
};

CORVANE_TEST_GUI_MAIN(TestWorkspace)
#include "tst_workspace.moc"
