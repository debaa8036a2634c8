#include "logger.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSemaphore>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using simbroker::SimTradeServer;

namespace {

const QString ServerName = QStringLiteral("Sim Server");

// Records, in the test's thread, everything the client announces. The client emits in its own
// thread; these connections are queued, so the lists are only touched here.
class Probe : public QObject
{
public:
    struct Event
    {
        QString name;
        QJsonObject object;
    };

    explicit Probe(TradeClient *client)
    {
        const auto record = [this](const char *name) {
            return [this, name](const QJsonObject &object) { events.append({QString::fromLatin1(name), object}); };
        };
        connect(client, &TradeClient::loginSuccess, this, record("loginSuccess"));
        connect(client, &TradeClient::symbolPriceReceived, this, record("symbolPriceReceived"));
        connect(client, &TradeClient::chartHistoryReceived, this, record("chartHistoryReceived"));
        connect(client, &TradeClient::openPositionsReceived, this, record("openPositionsReceived"));
        connect(client, &TradeClient::tradeHistoryReceived, this, record("tradeHistoryReceived"));
        connect(client, &TradeClient::pendingOrdersReceived, this, record("pendingOrdersReceived"));
        connect(client, &TradeClient::tradeResponseReceived, this, record("tradeResponseReceived"));
        connect(client, &TradeClient::symbolListReceived, this, record("symbolListReceived"));
        connect(client, &TradeClient::loginFail, this, [this] { events.append({QStringLiteral("loginFail"), {}}); });
        connect(client, &TradeClient::websocketDisconnected, this,
                [this] { events.append({QStringLiteral("websocketDisconnected"), {}}); });
        connect(Logger::instance(), &Logger::logMessage, this,
                [this](const QDateTime &, const QString &title, const QString &message) {
                    journal.append(title + QStringLiteral(": ") + message);
                });
    }

    int count(const QString &name) const
    {
        int n = 0;
        for (const Event &e : events)
            n += e.name == name ? 1 : 0;
        return n;
    }
    QStringList names() const
    {
        QStringList list;
        for (const Event &e : events)
            list.append(e.name);
        return list;
    }

    QList<Event> events;
    QStringList journal;
};

QJsonObject parse(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

qint64 int64Of(const QJsonValue &value)
{
    return value.toVariant().toLongLong();
}

} // namespace

class TestTradeClient : public QObject
{
    Q_OBJECT

private:
    // A server with account 1001/"pw1001" that sends nothing unasked after a login.
    void startServer(SimTradeServer &server)
    {
        server.addAccount(1001, QStringLiteral("pw1001"));
        server.setLoginSnapshot(false);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    }
    void logIn(TradeClient &client, SimTradeServer &server, Probe &probe, qint64 login = 1001,
               const QString &password = QStringLiteral("pw1001"))
    {
        const int before = probe.count(QStringLiteral("loginSuccess"));
        client.connectToServer(server.url().toString(), login, password, ServerName);
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginSuccess")), before + 1, 5000);
        QVERIFY(client.isLoggedIn());
    }

private slots:
    void loginRequestIsExact()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);

        const auto frames = server.receivedFrames();
        QCOMPARE(frames.size(), 1);
        const QJsonObject login = frames.first().object;
        QCOMPARE(login.keys(), (QStringList{"id", "password", "req_code", "type"}));
        QCOMPARE(int64Of(login.value("id")), 1001);
        QCOMPARE(login.value("password").toString(), QStringLiteral("pw1001"));
        QCOMPARE(login.value("req_code").toInt(), 1);
        QCOMPARE(login.value("type").toInt(), 3);
        QVERIFY(!frames.first().text.contains(QLatin1Char(' ')));
        QVERIFY(probe.journal.contains(QStringLiteral("Terminal: 1001 try to connect to Sim Server")));
        QVERIFY(probe.journal.contains(QStringLiteral("Network: Connected to Sim Server")));
        QVERIFY(probe.journal.contains(QStringLiteral("Terminal: 1001 login to Sim Server successfully ")));
    }

    void dispatch_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("signal");
        QTest::newRow("login accepted") << R"({"res_code":1,"state":1,"login":1001,"name":"n","group":"g"})" << "loginSuccess";
        QTest::newRow("login refused") << R"({"res_code":1,"state":0})" << "loginFail";
        QTest::newRow("login state boolean") << R"({"res_code":1,"state":true})" << "loginFail";
        QTest::newRow("login without state") << R"({"res_code":1})" << "loginFail";
        QTest::newRow("price") << R"({"res_code":2,"symbol":"EURUSD","bid":1.1,"ask":1.2})" << "symbolPriceReceived";
        QTest::newRow("chart") << R"({"res_code":3,"symbol":"EURUSD","interval":5,"array":[]})" << "chartHistoryReceived";
        QTest::newRow("positions") << R"({"res_code":4,"balance":5,"array":[],"is_last":1})" << "openPositionsReceived";
        QTest::newRow("history") << R"({"res_code":5,"positions":[],"orders":[],"deals":[]})" << "tradeHistoryReceived";
        QTest::newRow("orders") << R"({"res_code":6,"array":[{"ticket":7}]})" << "pendingOrdersReceived";
        QTest::newRow("trade result") << R"({"res_code":7,"status":10009,"msg":"Done","type":0})" << "tradeResponseReceived";
        QTest::newRow("symbols") << R"({"res_code":8,"array":[{"symbol":"EURUSD"}]})" << "symbolListReceived";
        QTest::newRow("unknown code") << R"({"res_code":9,"x":1})" << "";
        QTest::newRow("code zero") << R"({"res_code":0})" << "";
        QTest::newRow("code as text") << R"({"res_code":"2"})" << "";
        QTest::newRow("code fractional") << R"({"res_code":2.5})" << "";
        QTest::newRow("no code") << R"({"symbol":"EURUSD"})" << "";
        QTest::newRow("invalid json") << R"({"res_code":2,)" << "";
        QTest::newRow("array") << R"([{"res_code":2}])" << "";
        QTest::newRow("two objects") << R"({"res_code":2}{"res_code":2})" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("plain text") << "hello" << "";
    }
    void dispatch()
    {
        QFETCH(QString, frame);
        QFETCH(QString, signal);
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);
        probe.events.clear();

        server.sendText(frame);
        // A marker frame behind it: once the marker arrives, the frame under test was handled.
        const QJsonObject marker{{"res_code", 2}, {"symbol", "MARKER"}};
        server.sendJson(marker);
        QTRY_VERIFY_WITH_TIMEOUT(!probe.events.isEmpty() && probe.events.last().object == marker, 5000);

        QStringList expected;
        if (!signal.isEmpty())
            expected << signal;
        expected << QStringLiteral("symbolPriceReceived");
        QCOMPARE(probe.names(), expected);
        if (!signal.isEmpty() && signal != QLatin1String("loginFail"))
            QCOMPARE(probe.events.first().object, parse(frame));
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(client.isLoggedIn(), signal != QLatin1String("loginFail"));
    }

    void parseMessageRejectsAllButOneObject()
    {
        QCOMPARE(TradeClient::parseMessage(R"({"a":1})"), (QJsonObject{{"a", 1}}));
        QVERIFY(TradeClient::parseMessage(R"([1,2])").isEmpty());
        QVERIFY(TradeClient::parseMessage(R"({"a":1} {"b":2})").isEmpty());
        QVERIFY(TradeClient::parseMessage(QStringLiteral("\"text\"")).isEmpty());
        QVERIFY(TradeClient::parseMessage(QString()).isEmpty());
    }

    void dropAfterLoginReconnectsOnce()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);
        QSignalSpy connections(&server, &SimTradeServer::clientConnected);
        QSignalSpy tcpConnections(&server, &SimTradeServer::tcpConnected);

        QElapsedTimer clock;
        clock.start();
        server.dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginSuccess")), 2, 8000);
        QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(probe.count(QStringLiteral("websocketDisconnected")), 1);
        QVERIFY(probe.journal.contains(QStringLiteral("Network: Disconnected from Sim Server")));
        // An error and a loss of the same socket must not open two connections: a second open
        // would drop the first one.
        QVERIFY(!connections.wait(1000));
        QCOMPARE(connections.count(), 1);
        QCOMPARE(tcpConnections.count(), 1);
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(probe.count(QStringLiteral("websocketDisconnected")), 1);
        QCOMPARE(server.receivedRequests(1).size(), 2);
    }

    void frozenServerIsLeftAndRejoined()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);
        QSignalSpy pings(&server, &SimTradeServer::clientPing);
        QSignalSpy closeFrames(&server, &SimTradeServer::clientCloseFrame);

        server.setFrozen(true);
        QVERIFY(pings.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(probe.journal.contains(QStringLiteral("Network: Disconnected from Sim Server")), 5000);
        QCOMPARE(closeFrames.count(), 1);
        QCOMPARE(closeFrames.first().at(1).toInt(), 1006);
        server.setFrozen(false);
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginSuccess")), 2, 6000);
        QCOMPARE(server.receivedRequests(1).size(), 2);
    }

    void connectToServerChangeRules_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<qint64>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("serverName");
        QTest::addColumn<bool>("changed");
        QTest::newRow("same") << "ws://localhost:%1" << qint64(1001) << "pw1001" << "Sim Server" << false;
        QTest::newRow("host case") << "ws://LocalHost:%1" << qint64(1001) << "pw1001" << "Sim Server" << false;
        QTest::newRow("trailing slash") << "ws://localhost:%1/" << qint64(1001) << "pw1001" << "Sim Server" << true;
        QTest::newRow("server name") << "ws://localhost:%1" << qint64(1001) << "pw1001" << "Other" << true;
        QTest::newRow("password") << "ws://localhost:%1" << qint64(1001) << "other" << "Sim Server" << true;
        QTest::newRow("login") << "ws://localhost:%1" << qint64(1002) << "pw1001" << "Sim Server" << true;
        QTest::newRow("address") << "ws://127.0.0.1:%1" << qint64(1001) << "pw1001" << "Sim Server" << true;
    }
    void connectToServerChangeRules()
    {
        QFETCH(QString, url);
        QFETCH(qint64, login);
        QFETCH(QString, password);
        QFETCH(QString, serverName);
        QFETCH(bool, changed);
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        const QString base = QStringLiteral("ws://localhost:%1").arg(server.serverPort());
        client.connectToServer(base, 1001, QStringLiteral("pw1001"), ServerName);
        QTRY_VERIFY_WITH_TIMEOUT(client.isLoggedIn(), 5000);
        QSignalSpy connections(&server, &SimTradeServer::clientConnected);

        QCOMPARE(client.connectToServer(url.arg(server.serverPort()), login, password, serverName), changed);
        if (changed) {
            // The old connection is gone and a new one is being made, not yet logged in.
            QVERIFY(!client.isLoggedIn());
            QVERIFY(connections.count() == 1 || connections.wait(5000));
            QCOMPARE(client.serverName, serverName);
            QCOMPARE(client.password, password);
            QCOMPARE(client.login, login);
        } else {
            QVERIFY(client.isLoggedIn());
            QVERIFY(!connections.wait(200));
            QCOMPARE(client.serverUrl(), QUrl(base));
        }
    }

    void sameValuesWhileNotLoggedInRestart()
    {
        SimTradeServer server;
        startServer(server);
        server.setRefuseLogins(true);
        TradeClient client;
        Probe probe(&client);
        const QString url = server.url().toString();
        QVERIFY(client.connectToServer(url, 1001, QStringLiteral("pw1001"), ServerName));
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginFail")), 1, 5000);
        QVERIFY(!client.connectToServer(url, 1001, QStringLiteral("pw1001"), ServerName));
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginFail")), 2, 5000);
        QCOMPARE(probe.journal.count(QStringLiteral("Terminal: 1001 try to connect to Sim Server")), 2);
    }

    // A login reply handled while connectToServer is stopping the old thread must not leave the
    // next connection marked as logged in. The client thread is held inside its login handling
    // (at its "login state" trace) until the GUI thread has started the switch.
    void lateLoginReplyDoesNotSurviveRestart()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);

        static QSemaphore reached;
        static QThread *clientThread = nullptr;
        clientThread = &client;
        // Debug output is off in the test runs; the trace is needed here, whatever the rules say.
        static QLoggingCategory::CategoryFilter previousFilter = nullptr;
        previousFilter = QLoggingCategory::installFilter([](QLoggingCategory *category) {
            if (previousFilter)
                previousFilter(category);
            if (qstrcmp(category->categoryName(), "default") == 0)
                category->setEnabled(QtDebugMsg, true);
        });
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            if (QThread::currentThread() == clientThread && text.startsWith(QLatin1String("login state 1"))) {
                reached.release();
                QThread::msleep(200);
            }
        });
        client.connectToServer(server.url().toString(), 1001, QStringLiteral("pw1001"), ServerName);
        QTRY_VERIFY_WITH_TIMEOUT(reached.available() > 0, 5000);
        client.connectToServer(server.url().toString(), 1002, QStringLiteral("wrong"), ServerName);
        const bool stale = client.isLoggedIn();
        qInstallMessageHandler(previous);
        QLoggingCategory::installFilter(previousFilter);
        clientThread = nullptr;
        reached.acquire(reached.available());

        QVERIFY(!stale);
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginFail")), 1, 5000);
        QVERIFY(!client.isLoggedIn());
    }

    void burstArrivesInOrder()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);

        constexpr int Count = 300;
        for (int i = 0; i < Count; ++i)
            client.sendRequest({{"req_code", 42}, {"seq", i}});
        QTRY_COMPARE_WITH_TIMEOUT(server.receivedRequests(42).size(), Count, 5000);
        const auto requests = server.receivedRequests(42);
        for (int i = 0; i < Count; ++i) {
            QCOMPARE(requests.at(i).value("seq").toInt(), i);
            QCOMPARE(int64Of(requests.at(i).value("login")), 1001);
        }
    }

    void requestsDroppedWithoutAccountOrThread()
    {
        SimTradeServer server;
        startServer(server);
        server.setRefuseLogins(true);
        TradeClient client;
        // Stopped: nothing is queued, so nothing can surface on a later connection.
        client.sendMessage(QStringLiteral(R"({"req_code":40})"));
        Probe probe(&client);

        // Running with no account set (0): requests are dropped, ready texts still go out.
        client.connectToServer(server.url().toString(), 0, QString(), ServerName);
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginFail")), 1, 5000);
        client.sendRequest({{"req_code", 41}});
        client.sendMessage(QStringLiteral(R"({"req_code":42})"));
        QTRY_COMPARE_WITH_TIMEOUT(server.receivedRequests(42).size(), 1, 5000);

        client.logout();
        client.sendMessage(QStringLiteral(R"({"req_code":43})"));
        QVERIFY(probe.journal.contains(QStringLiteral("Terminal: 0 Log out from Sim Server")));
        client.connectToServer(server.url().toString(), 0, QString(), ServerName);
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginFail")), 2, 5000);
        client.sendMessage(QStringLiteral(R"({"req_code":44})"));
        QTRY_COMPARE_WITH_TIMEOUT(server.receivedRequests(44).size(), 1, 5000);
        QCOMPARE(server.receivedRequests(40).size(), 0);
        QCOMPARE(server.receivedRequests(41).size(), 0);
        QCOMPARE(server.receivedRequests(43).size(), 0);
    }

    void stopEmptiesTheQueue()
    {
        SimTradeServer server;
        startServer(server);
        server.addAccount(1002, QStringLiteral("pw1002"));
        TradeClient client;
        Probe probe(&client);
        for (int round = 0; round < 5; ++round) {
            logIn(client, server, probe);
            // Queued for account 1001 and stopped at once: none of these may reach the
            // connection of the next account.
            for (int i = 0; i < 50; ++i)
                client.sendRequest({{"req_code", 42}, {"round", round}});
            client.connectToServer(server.url().toString(), 1002, QStringLiteral("pw1002"), ServerName);
            QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginSuccess")), 2 * round + 2, 5000);
            client.sendRequest({{"req_code", 43}});
            QTRY_COMPARE_WITH_TIMEOUT(server.receivedRequests(43).size(), round + 1, 5000);
            for (const QJsonObject &request : server.receivedRequests(42))
                QCOMPARE(int64Of(request.value("login")), 1001);
            QCOMPARE(int64Of(server.receivedRequests(43).last().value("login")), 1002);
            // Every 42 came on the connection that logged in as 1001.
            const auto frames = server.receivedFrames();
            int loginConnection = 0;
            for (const auto &frame : frames) {
                if (frame.object.value("req_code").toInt() == 1)
                    loginConnection = int64Of(frame.object.value("id")) == 1001 ? frame.connection : -1;
                else if (frame.object.value("req_code").toInt() == 42)
                    QCOMPARE(frame.connection, loginConnection);
            }
        }
    }

    void refusedLoginAfterReconnectStopsRetrying()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);
        QSignalSpy connections(&server, &SimTradeServer::clientConnected);

        server.setRefuseLogins(true);
        server.dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("loginFail")), 1, 8000);
        QVERIFY(!client.isLoggedIn());
        QVERIFY(probe.journal.contains(QStringLiteral("Terminal: 1001 login failed to Sim Server")));
        // The refusing server closes the connection: no new attempt follows.
        server.closeConnections();
        QVERIFY(!connections.wait(4000));
        QCOMPARE(connections.count(), 1);
        QCOMPARE(probe.count(QStringLiteral("loginFail")), 1);
    }

    void tradeHistoryDayBounds()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);

        const QList<int> days{0, -1, -7, -30, 2};
        for (const int d : days)
            client.requestTradeHistory(d);
        QTRY_COMPARE_WITH_TIMEOUT(server.receivedRequests(5).size(), days.size(), 5000);
        const QDate today = QDate::currentDate();
        for (int i = 0; i < days.size(); ++i) {
            const QJsonObject request = server.receivedRequests(5).at(i);
            QCOMPARE(request.keys(), (QStringList{"from", "login", "req_code", "to"}));
            QCOMPARE(int64Of(request.value("from")), today.addDays(days.at(i)).startOfDay().toSecsSinceEpoch());
            QCOMPARE(int64Of(request.value("to")), today.addDays(1).startOfDay().toSecsSinceEpoch());
        }
    }

    void wideAccountAndTicketsStayIntact()
    {
        constexpr qint64 Account = 3000000001LL;
        constexpr qint64 Ticket = 5000000001LL;
        SimTradeServer server;
        startServer(server);
        server.addAccount(Account, QStringLiteral("wide"));
        server.setNextTicket(Ticket);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe, Account, QStringLiteral("wide"));
        QCOMPARE(int64Of(server.receivedRequests(1).first().value("id")), Account);
        QCOMPARE(int64Of(probe.events.first().object.value("login")), Account);

        client.sendRequest(TradeMessages::marketOrderRequest(QStringLiteral("EURUSD"), 0, 0.1));
        client.sendRequest(TradeMessages::accountRefreshAfterLoginRequest(Account));
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("tradeResponseReceived")), 1, 5000);
        QCOMPARE(server.positions(Account).size(), 1);
        QCOMPARE(int64Of(server.positions(Account).first().toObject().value("ticket")), Ticket);
        QCOMPARE(int64Of(server.receivedRequests(4).at(1).value("login")), Account);

        client.sendRequest(TradeMessages::closeTradeRequest(Ticket, 1));
        client.sendMessage(TradeMessages::closeAllMessage(Account, 0));
        QTRY_COMPARE_WITH_TIMEOUT(probe.count(QStringLiteral("tradeResponseReceived")), 3, 5000);
        QCOMPARE(probe.events.last().name, QStringLiteral("pendingOrdersReceived"));
        QCOMPARE(int64Of(server.receivedRequests(4).at(2).value("order_id")), Ticket);
        QVERIFY(server.positions(Account).isEmpty());
        int done = 0;
        for (const auto &e : probe.events) {
            if (e.name == QLatin1String("tradeResponseReceived"))
                done += e.object.value("status").toInt() == StatusDone ? 1 : 0;
        }
        QCOMPARE(done, 3);
    }

    void shutdownClosesNormally()
    {
        SimTradeServer server;
        startServer(server);
        TradeClient client;
        Probe probe(&client);
        logIn(client, server, probe);
        QSignalSpy closeFrames(&server, &SimTradeServer::clientCloseFrame);
        QSignalSpy gone(&server, &SimTradeServer::clientDisconnected);

        QVERIFY(client.shutdown(2000));
        QVERIFY(!client.isRunning());
        QVERIFY(!client.isLoggedIn());
        QVERIFY(gone.count() == 1 || gone.wait(2000));
        QCOMPARE(closeFrames.count(), 1);
        QCOMPARE(closeFrames.first().at(1).toInt(), 1000);
        client.sendMessage(QStringLiteral(R"({"req_code":42})"));
        QVERIFY(client.shutdown(0));
    }
};

CORVANE_TEST_MAIN(TestTradeClient)
#include "tst_tradeclient.moc"
