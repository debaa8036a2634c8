// Logging in against the simulated trade server: the automatic login, a refused login, switching
// accounts, losing the connection and the requests the window sends.
#include "client_terminal.h"
#include "logindialog.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

using simbroker::SimTradeServer;

namespace {

const QHostAddress TradeAddress(QStringLiteral("127.55.1.1"));
const QString ServerName = QStringLiteral("Taldrex-Sim");
const QString ChartsOf1001 = QStringLiteral("EURUSD,1,0,0,800,500,60\nGBPUSD,0,0,0,800,500,5\n");

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

QList<QMessageBox *> visibleMessageBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            boxes << box;
    return boxes;
}

bool hasRequest(const QList<QJsonObject> &requests, const QJsonObject &fields)
{
    for (const QJsonObject &request : requests) {
        bool all = true;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            all = all && request.value(it.key()) == it.value();
        if (all)
            return true;
    }
    return false;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).clear();
        QDir(QStringLiteral("config")).removeRecursively();
        Client_Terminal::setBrokerListHost(QStringLiteral("127.55.1.2")); // nothing listens there
        server = new SimTradeServer;
        QVERIFY(server->listen(TradeAddress, 0));
        server->addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        server->addAccount(1002, QStringLiteral("pw1002"), 5000.0, QStringLiteral("Second"));
        server->addAccount(3000000001LL, QStringLiteral("pw3"), 1000.0, QStringLiteral("Wide"));
        client = new TradeClient;
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        client->shutdown(3000);
        delete client;
        delete server;
    }

    void autoLoginNeedsAnAccountAndAServer_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("withServer");
        QTest::addColumn<bool>("connects");
        QTest::newRow("nothing saved") << QString() << false << false;
        QTest::newRow("empty account") << "" << true << false;
        QTest::newRow("account 0") << "0" << true << false;
        QTest::newRow("account not a number") << "10x1" << true << false;
        QTest::newRow("no server") << "1001" << false << false;
        QTest::newRow("complete") << "1001" << true << true;
    }

    void autoLoginNeedsAnAccountAndAServer()
    {
        QFETCH(QString, account);
        QFETCH(bool, withServer);
        QFETCH(bool, connects);
        if (!account.isNull()) {
            QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
            settings.setValue(QStringLiteral("account"), account);
            settings.setValue(QStringLiteral("word"), QStringLiteral("pw1001"));
            settings.setValue(QStringLiteral("server"), withServer ? server->url().toString() : QString());
            settings.setValue(QStringLiteral("server_name"), ServerName);
        }
        QSignalSpy logins(server, &SimTradeServer::loginHandled);
        window = new Client_Terminal(client);
        QCOMPARE(client->isRunning(), connects);
        if (!connects) {
            QCOMPARE(window->windowTitle(), QStringLiteral("Client Terminal"));
            return;
        }
        QTRY_COMPARE(logins.count(), 1);
        QCOMPARE(logins.first().at(1).toLongLong(), 1001);
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("First(1001, Taldrex-Sim)"));
        // Every accepted login asks for a refresh of the whole account.
        QTRY_VERIFY(hasRequest(server->receivedRequests(4),
                               {{"type", 5}, {"login", 1001}, {"is_last", 1}}));
        QTRY_VERIFY(hasRequest(server->receivedRequests(5), {{"login", 1001}}));
    }

    void refreshNamesAnAccountAboveThirtyTwoBits()
    {
        window = new Client_Terminal(client);
        logInThroughTheDialog(3000000001LL, QStringLiteral("pw3"));
        QTRY_VERIFY(hasRequest(server->receivedRequests(4), {{"type", 5}, {"login", 3000000001LL}}));
    }

    void refusedLoginShowsOneBoxAndOffersTheDialogAgain()
    {
        server->setRefuseLogins(true);
        window = new Client_Terminal(client);
        QSignalSpy sounds(window, &Client_Terminal::soundPlayed);
        logInThroughTheDialog(1001, QStringLiteral("pw1001"), false);
        QTRY_COMPARE(visibleMessageBoxes().size(), 1);
        QMessageBox *box = visibleMessageBoxes().first();
        QCOMPARE(box->windowTitle(), QStringLiteral("Login fail"));
        QCOMPARE(box->text(), QStringLiteral("Connecting to trade server failed. Try again your login."));
        QCOMPARE(sounds.count(), 1);
        QCOMPARE(sounds.first().first().toString(), QStringLiteral(":/sound/disconnected.wav"));

        // Another refusal while the box is open: the sound again, but no second box.
        window->onLoginFailed();
        QCOMPARE(sounds.count(), 2);
        QCOMPARE(visibleMessageBoxes().size(), 1);

        auto *dialog = window->findChild<LoginDialog *>();
        dialog->hide();
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(visibleMessageBoxes().isEmpty());
        QVERIFY(dialog->isVisible());

        window->onLoginFailed(); // a later refusal shows its own box
        QTRY_COMPARE(visibleMessageBoxes().size(), 1);
        visibleMessageBoxes().first()->button(QMessageBox::Ok)->click();
    }

    void switchingAccountKeepsTheOldWorkspace_data()
    {
        QTest::addColumn<bool>("throughRelogin");
        QTest::newRow("login dialog") << false;
        QTest::newRow("relogin from the demo dialog") << true;
    }

    void switchingAccountKeepsTheOldWorkspace()
    {
        QFETCH(bool, throughRelogin);
        const QString folder = QStringLiteral("config/%1/1001/").arg(ServerName);
        QDir().mkpath(folder);
        {
            QFile charts(folder + "charts");
            QVERIFY(charts.open(QIODevice::WriteOnly));
            charts.write(ChartsOf1001.toUtf8());
        }
        window = new Client_Terminal(client);
        auto *dialog = window->findChild<LoginDialog *>();
        logInThroughTheDialog(1001, QStringLiteral("pw1001"), true);
        const QString url1001 = client->url.toString();
        {
            // "Save Password" was ticked for the account the dialog shows: the next start logs in.
            QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
            QCOMPARE(settings.value("account").toString(), QStringLiteral("1001"));
            QCOMPARE(settings.value("word").toString(), QStringLiteral("pw1001"));
            QCOMPARE(settings.value("server").toString(), url1001);
            QCOMPARE(settings.value("server_name").toString(), ServerName);
        }
        QSignalSpy sounds(window, &Client_Terminal::soundPlayed);
        QSignalSpy logins(server, &SimTradeServer::loginHandled);

        // The old connection's end, reported by its thread but not yet handled when the trader
        // switches: it must neither sound the reminder nor write the old account's workspace.
        QMetaObject::invokeMethod(client, "websocketDisconnected", Qt::QueuedConnection);
        if (throughRelogin) {
            window->relogin(1002, QStringLiteral("pw1002"), ServerName);
        } else {
            dialog->setLogin(1002);
            dialog->setPassword(QStringLiteral("pw1002"));
            window->connectToBroker();
        }
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("Second(1002, Taldrex-Sim)"));
        QTRY_VERIFY(hasRequest(server->receivedRequests(4), {{"type", 5}, {"login", 1002}}));
        QCOMPARE(logins.count(), 1);

        QCOMPARE(readAll(folder + "charts"), ChartsOf1001);
        QCOMPARE(readAll(folder + "login"), QStringLiteral("1001;pw1001;%1").arg(url1001));
        QVERIFY(!window->findChild<QTimer *>(QStringLiteral("disconnectedSoundTimer"))->isActive());
        for (const QList<QVariant> &sound : qAsConst(sounds))
            QVERIFY(sound.first().toString() != QLatin1String(":/sound/disconnected.wav"));

        // The new account's workspace is its own.
        window->close();
        QCOMPARE(readAll(QStringLiteral("config/%1/1002/charts").arg(ServerName)), QString());
        QCOMPARE(readAll(folder + "charts"), ChartsOf1001);
    }

    void refusedSwitchLeavesTheOldWorkspaceAlone()
    {
        const QString folder = QStringLiteral("config/%1/1001/").arg(ServerName);
        QDir().mkpath(folder);
        {
            QFile charts(folder + "charts");
            QVERIFY(charts.open(QIODevice::WriteOnly));
            charts.write(ChartsOf1001.toUtf8());
        }
        window = new Client_Terminal(client);
        logInThroughTheDialog(1001, QStringLiteral("pw1001"));
        QSignalSpy refused(client, &TradeClient::loginFail);
        logInThroughTheDialog(1002, QStringLiteral("wrong"));
        QTRY_COMPARE(refused.count(), 1);
        QTRY_COMPARE(visibleMessageBoxes().size(), 1);
        visibleMessageBoxes().first()->close();
        QVERIFY(!window->findChild<QAction *>(QStringLiteral("actionChangePassword"))->isEnabled());
        QVERIFY(!window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->isEnabled());
        QVERIFY(window->findChild<QAction *>(QStringLiteral("actionConnect"))->isEnabled());

        // The window was cleared for 1002, which never logged in: nothing is loaded to save.
        window->close();
        QCOMPARE(readAll(folder + "charts"), ChartsOf1001);
        QVERIFY(!QDir(QStringLiteral("config/%1/1002").arg(ServerName)).exists());
    }

    void lostConnectionRemindsUntilDisconnect()
    {
        window = new Client_Terminal(client);
        logInThroughTheDialog(1001, QStringLiteral("pw1001"));
        auto *reminder = window->findChild<QTimer *>(QStringLiteral("disconnectedSoundTimer"));
        QSignalSpy sounds(window, &Client_Terminal::soundPlayed);

        server->dropConnections();
        QTRY_VERIFY(reminder->isActive());
        QCOMPARE(reminder->interval(), 5000);
        QCOMPARE(sounds.count(), 1);
        QCOMPARE(sounds.first().first().toString(), QStringLiteral(":/sound/disconnected.wav"));
        QVERIFY(window->findChild<QAction *>(QStringLiteral("actionConnect"))->isEnabled());
        QVERIFY(!window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->isEnabled());
        // The loss wrote the workspace.
        QVERIFY(QFile::exists(QStringLiteral("config/%1/1001/symbols").arg(ServerName)));

        window->disconnectToBroker();
        QVERIFY(!reminder->isActive());
        QTest::qWait(50); // the stop's own disconnection is still queued
        QVERIFY(!reminder->isActive());
        QCOMPARE(sounds.count(), 1);
        QVERIFY(!client->isRunning());
    }

    void reconnectionStopsTheReminder()
    {
        window = new Client_Terminal(client);
        logInThroughTheDialog(1001, QStringLiteral("pw1001"));
        auto *reminder = window->findChild<QTimer *>(QStringLiteral("disconnectedSoundTimer"));
        QSignalSpy logins(server, &SimTradeServer::loginHandled);
        server->dropConnections();
        QTRY_VERIFY(reminder->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 10000); // the client retries after 3 s
        QTRY_VERIFY(!reminder->isActive());
        QVERIFY(window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->isEnabled());
    }

    void closeControlSendsOnlyRealTickets()
    {
        window = new Client_Terminal(client);
        logInThroughTheDialog(1001, QStringLiteral("pw1001"));
        server->clearReceivedFrames();
        window->onCloseTrade(0, 1);
        window->onCloseTrade(-7, 2);
        window->onCloseTrade(55, 3);
        window->onCloseTrade(8589934593LL, 2);
        window->onCloseTrade(12345, 1);
        QTRY_COMPARE(server->receivedRequests(4).size(), 2);
        const QList<QJsonObject> requests = server->receivedRequests(4);
        QCOMPARE(requests.at(0).value("type").toInt(), 3);
        QCOMPARE(requests.at(0).value("order_id").toVariant().toLongLong(), 8589934593LL);
        QCOMPARE(requests.at(1).value("type").toInt(), 4);
        QCOMPARE(requests.at(1).value("order_id").toVariant().toLongLong(), 12345);
        QCOMPARE(requests.at(1).value("login").toVariant().toLongLong(), 1001);
    }

private:
    void logInThroughTheDialog(qint64 account, const QString &password, bool savePassword = false)
    {
        auto *dialog = window->findChild<LoginDialog *>();
        dialog->addServer(ServerName, server->address());
        dialog->selectServer(ServerName);
        dialog->setLogin(account);
        dialog->setPassword(password);
        dialog->findChild<QCheckBox *>(QStringLiteral("saveCheckBox"))->setChecked(savePassword);
        window->connectToBroker();
        if (server->receivedRequests(1).isEmpty() && !client->isRunning())
            QFAIL("no connection started");
        if (!password.isEmpty() && account > 0) {
            QTRY_VERIFY(window->windowTitle().contains(QString::number(account))
                        || !visibleMessageBoxes().isEmpty());
        }
    }

    SimTradeServer *server = nullptr;
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;
};

CORVANE_TEST_GUI_MAIN(TestSession)
#include "tst_session.moc"
