#include "simtradeserver.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QWebSocket>

using simbroker::SimMarket;
using simbroker::SimTradeServer;

namespace {

qint64 int64Of(const QJsonValue &value)
{
    return value.toVariant().toLongLong();
}

// A bare WebSocket client in the test's thread, so the broker is checked without the terminal's
// own client.
class RawClient : public QObject
{
public:
    explicit RawClient(const QUrl &url)
    {
        connect(&socket, &QWebSocket::textMessageReceived, this,
                [this](const QString &text) { replies.append(QJsonDocument::fromJson(text.toUtf8()).object()); });
        socket.open(url);
    }
    bool waitConnected() { return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000); }
    void send(const QJsonObject &object)
    {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    }
    QList<int> codes() const
    {
        QList<int> list;
        for (const QJsonObject &r : replies)
            list.append(r.value("res_code").toInt());
        return list;
    }
    QJsonObject last(int code) const
    {
        for (int i = replies.size() - 1; i >= 0; --i) {
            if (replies.at(i).value("res_code").toInt() == code)
                return replies.at(i);
        }
        return {};
    }
    // Sends the request, then a refresh, and waits for the refresh's account reply: whatever the
    // request caused has arrived by then.
    void exchange(const QJsonObject &request, qint64 login)
    {
        replies.clear();
        send(request);
        send({{"req_code", 4}, {"type", 5}, {"login", login}});
        QTRY_VERIFY_WITH_TIMEOUT(codes().count(6) >= 1 && codes().last() == 6, 5000);
    }

    QWebSocket socket;
    QList<QJsonObject> replies;
};

} // namespace

class TestSimBroker : public QObject
{
    Q_OBJECT
private slots:
    void pricesFollowTheSeed()
    {
        SimMarket a;
        SimMarket b;
        SimMarket c;
        a.setSeed(7);
        b.setSeed(7);
        c.setSeed(8);
        QList<double> bids;
        bool differs = false;
        for (int i = 0; i < 200; ++i) {
            a.step();
            b.step();
            c.step();
            QCOMPARE(a.quote("EURUSD").bid, b.quote("EURUSD").bid);
            differs = differs || a.quote("EURUSD").bid != c.quote("EURUSD").bid;
            QVERIFY(a.quote("EURUSD").ask > a.quote("EURUSD").bid);
            bids.append(a.quote("EURUSD").bid);
        }
        QVERIFY(differs);
        // Rises and falls, near its base.
        int ups = 0;
        int downs = 0;
        for (int i = 1; i < bids.size(); ++i) {
            ups += bids.at(i) > bids.at(i - 1) ? 1 : 0;
            downs += bids.at(i) < bids.at(i - 1) ? 1 : 0;
        }
        QVERIFY(ups > 20 && downs > 20);
        QVERIFY(qAbs(bids.last() / 1.0845 - 1.0) < 0.01);
        QCOMPARE(a.symbols().size(), 20);
        QCOMPARE(a.tickJson("USDJPY").value("digits").toInt(), 3);
    }

    void barsAreWellFormed_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<qint64>("span");
        QTest::newRow("M1") << 1 << qint64(3600);
        QTest::newRow("H4") << 240 << qint64(30 * 86400);
        QTest::newRow("D1 capped") << 1440 << qint64(20 * 365 * 86400LL);
        QTest::newRow("MN") << 40000 << qint64(3 * 365 * 86400LL);
    }
    void barsAreWellFormed()
    {
        QFETCH(int, interval);
        QFETCH(qint64, span);
        SimMarket market;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const QJsonArray bars = market.bars("GBPUSD", interval, now - span, -1);
        QVERIFY(!bars.isEmpty());
        QVERIFY(bars.size() <= 2000);
        QCOMPARE(market.bars("GBPUSD", interval, now - span, -1).size(), bars.size());
        qint64 previous = -1;
        for (const QJsonValue &value : bars) {
            const QJsonObject bar = value.toObject();
            const qint64 t = int64Of(bar.value("datetime"));
            QVERIFY(t > previous && t <= now);
            if (interval < 40000)
                QCOMPARE(t % (interval * 60), 0);
            else
                QCOMPARE(QDateTime::fromSecsSinceEpoch(t, Qt::UTC).date().day(), 1);
            const double o = bar.value("open").toDouble(), h = bar.value("high").toDouble(),
                         l = bar.value("low").toDouble(), c = bar.value("close").toDouble();
            QVERIFY(h >= qMax(o, c) && l <= qMin(o, c) && l > 0);
            previous = t;
        }
        QVERIFY(market.bars("NOSUCH", interval, 0, -1).isEmpty());
    }

    void loginAndSnapshot()
    {
        SimTradeServer server;
        server.addDemoAccounts();
        QVERIFY(server.listen());
        RawClient client(server.url());
        QVERIFY(client.waitConnected());
        client.send({{"req_code", 1}, {"id", 1001}, {"password", "wrong"}, {"type", 3}});
        QTRY_COMPARE(client.codes(), QList<int>{1});
        QCOMPARE(client.replies.first(), (QJsonObject{{"res_code", 1}, {"state", 0}}));
        // Nothing is answered before a login.
        client.send({{"req_code", 5}, {"from", 0}, {"to", -1}, {"login", 1001}});

        client.send({{"req_code", 1}, {"id", 1001}, {"password", "demo1001"}, {"type", 3}});
        QTRY_COMPARE(client.codes().size(), 1 + 1 + 3 + 20);
        QCOMPARE(client.codes().mid(1, 4), (QList<int>{1, 8, 4, 6}));
        QCOMPARE(client.codes().count(2), 20);
        const QJsonObject login = client.replies.at(1);
        QCOMPARE(login.value("state").toInt(), 1);
        QCOMPARE(int64Of(login.value("login")), 1001);
        QCOMPARE(login.value("name").toString(), QStringLiteral("Demo Trader"));
        QVERIFY(login.contains("group"));
        QCOMPARE(client.last(8).value("array").toArray().size(), 20);
        const QJsonObject account = client.last(4);
        for (const char *key : {"balance", "margin", "credit", "array", "is_last"})
            QVERIFY2(account.contains(key), key);
        QCOMPARE(account.value("array").toArray().size(), 3);
        QCOMPARE(client.last(6).value("array").toArray().size(), 1);

        // Unknown and malformed frames are recorded, not answered; the connection stays.
        client.replies.clear();
        client.socket.sendTextMessage("not json");
        client.send({{"req_code", 77}});
        client.send({{"req_code", 5}, {"from", 0}, {"to", -1}, {"login", 1001}});
        QTRY_COMPARE(client.codes(), QList<int>{5});
        const QJsonObject history = client.replies.first();
        QCOMPARE(history.value("positions").toArray().size(), 1);
        QCOMPARE(history.value("orders").toArray().size(), 2);
        QCOMPARE(history.value("deals").toArray().size(), 3);
        const auto frames = server.receivedFrames();
        QVERIFY(!frames.at(frames.size() - 3).isObject);
        QCOMPARE(frames.at(frames.size() - 3).text, QStringLiteral("not json"));
        QCOMPARE(server.receivedRequests(77).size(), 1);
    }

    void trading_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("positionsDelta");
        QTest::addColumn<int>("ordersDelta");

        const QJsonObject market{{"req_code", 4}, {"type", 0}, {"order_type", 0}, {"volume", 1000}, {"symbol", "EURUSD"}};
        QTest::newRow("market buy") << market << 10009 << 1 << 0;
        QJsonObject sell = market;
        sell["order_type"] = 1;
        sell["sl"] = 9.0;
        QTest::newRow("market sell with stop loss") << sell << 10009 << 1 << 0;
        QJsonObject badStops = market;
        badStops["sl"] = 9.0;
        QTest::newRow("buy with stop loss above price") << badStops << 10016 << 0 << 0;
        QJsonObject badVolume = market;
        badVolume["volume"] = 150;
        QTest::newRow("volume off the step") << badVolume << 10014 << 0 << 0;
        QJsonObject unknown = market;
        unknown["symbol"] = "NOSUCH";
        QTest::newRow("unknown symbol") << unknown << 10013 << 0 << 0;
        QJsonObject limit = market;
        limit["order_type"] = 2;
        limit["price"] = 1.0;
        QTest::newRow("buy limit below") << limit << 10009 << 0 << 1;
        limit["price"] = 2.0;
        QTest::newRow("buy limit above") << limit << 10015 << 0 << 0;
        QTest::newRow("modify position") << QJsonObject{{"req_code", 4}, {"type", 2}, {"order_id", 501}, {"sl", 0.5}, {"tp", 0.0}}
                                         << 10009 << 0 << 0;
        QTest::newRow("close position") << QJsonObject{{"req_code", 4}, {"type", 4}, {"order_id", 501}} << 10009 << -1 << 0;
        QTest::newRow("close partly") << QJsonObject{{"req_code", 4}, {"type", 4}, {"order_id", 501}, {"volume", 400}}
                                      << 10009 << 0 << 0;
        QTest::newRow("close missing") << QJsonObject{{"req_code", 4}, {"type", 4}, {"order_id", 999}} << 10013 << 0 << 0;
        QTest::newRow("modify order") << QJsonObject{{"req_code", 4}, {"type", 1}, {"order_id", 601}, {"price", 1.01}}
                                      << 10009 << 0 << 0;
        QTest::newRow("delete order") << QJsonObject{{"req_code", 4}, {"type", 3}, {"order_id", 601}} << 10009 << 0 << -1;
        QTest::newRow("close all") << QJsonObject{{"req_code", 4}, {"type", 9}, {"dealer", 1000}, {"sub_type", 0}}
                                   << 10009 << -3 << 0;
        QTest::newRow("close by hedge") << QJsonObject{{"req_code", 4}, {"type", 10}, {"order_id", 501}, {"position_id", 501}, {"position_by_id", 502}}
                                        << 10009 << -1 << 0;
        QTest::newRow("wrong login") << QJsonObject{{"req_code", 4}, {"type", 9}, {"sub_type", 0}, {"login", 9}}
                                     << 10013 << 0 << 0;
    }
    void trading()
    {
        QFETCH(QJsonObject, request);
        QFETCH(int, status);
        QFETCH(int, positionsDelta);
        QFETCH(int, ordersDelta);
        SimTradeServer server;
        server.addAccount(1001, "pw", 100000.0);
        QVERIFY(server.listen());
        const auto bid = [&server] { return server.market().quote("EURUSD").bid; };
        server.addPosition(1001, {{"ticket", 501}, {"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 1000}, {"price_o", bid() - 0.001}});
        server.addPosition(1001, {{"ticket", 502}, {"symbol", "EURUSD"}, {"type", "sell"}, {"volume", 600}, {"price_o", bid() + 0.002}});
        server.addPosition(1001, {{"ticket", 503}, {"symbol", "USDJPY"}, {"type", "sell"}, {"volume", 100}, {"price_o", 150.0}});
        server.addOrder(1001, {{"ticket", 601}, {"symbol", "EURUSD"}, {"type", 2}, {"volume", 100}, {"price", 1.0}});
        const double balance = server.balance(1001);
        RawClient client(server.url());
        QVERIFY(client.waitConnected());
        client.send({{"req_code", 1}, {"id", 1001}, {"password", "pw"}, {"type", 3}});
        QTRY_VERIFY(client.codes().contains(6));

        if (!request.contains("login"))
            request.insert("login", 1001);
        client.exchange(request, 1001);
        const QJsonObject result = client.last(7);
        QCOMPARE(result.value("status").toInt(), status);
        QCOMPARE(result.value("type").toInt(), request.value("type").toInt());
        QVERIFY(result.contains("msg") && result.contains("fail_reason"));
        // A change is announced by the account and order lists right after the result.
        const QList<int> expected = status == 10009 ? QList<int>{7, 4, 6, 4, 6} : QList<int>{7, 4, 6};
        QCOMPARE(client.codes(), expected);
        QCOMPARE(client.last(4).value("array").toArray().size(), 3 + positionsDelta);
        QCOMPARE(client.last(6).value("array").toArray().size(), 1 + ordersDelta);
        QCOMPARE(server.positions(1001).size(), 3 + positionsDelta);

        const bool closes = positionsDelta < 0 || QTest::currentDataTag() == QByteArray("close partly");
        QCOMPARE(server.balance(1001) != balance, closes);
        if (QTest::currentDataTag() == QByteArray("close partly"))
            QCOMPARE(int64Of(server.positions(1001).first().toObject().value("volume")), 600);
        if (QTest::currentDataTag() == QByteArray("modify position"))
            QCOMPARE(server.positions(1001).first().toObject().value("sl").toDouble(), 0.5);
        if (QTest::currentDataTag() == QByteArray("close by hedge")) {
            // 600 of 1000 are closed against the whole sell.
            QCOMPARE(int64Of(server.positions(1001).first().toObject().value("volume")), 400);
        }
    }

    void refreshAndHistoryWindow()
    {
        SimTradeServer server;
        server.addAccount(1001, "pw");
        server.setLoginSnapshot(false);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        server.addHistory(1001, "deals", {{"ticket", 1}, {"type", 2}, {"time", now - 10 * 86400}, {"profit", 5.0}});
        server.addHistory(1001, "deals", {{"ticket", 2}, {"type", 2}, {"time", now - 3600}, {"profit", 6.0}});
        QVERIFY(server.listen());
        RawClient client(server.url());
        QVERIFY(client.waitConnected());
        client.send({{"req_code", 1}, {"id", 1001}, {"password", "pw"}, {"type", 3}});
        QTRY_COMPARE(client.codes(), QList<int>{1});

        client.send({{"req_code", 4}, {"type", 5}, {"login", 1001}, {"is_last", 1}});
        QTRY_COMPARE(client.codes(), (QList<int>{1, 4, 6}));
        client.replies.clear();
        client.send({{"req_code", 5}, {"from", now - 86400}, {"to", now + 86400}, {"login", 1001}});
        client.send({{"req_code", 5}, {"from", 0}, {"to", -1}, {"login", 1001}});
        QTRY_COMPARE(client.codes(), (QList<int>{5, 5}));
        // The first of the two deals is the account's opening deposit, a week back.
        QCOMPARE(client.replies.at(0).value("deals").toArray().size(), 1);
        QCOMPARE(client.replies.at(1).value("deals").toArray().size(), 3);

        client.replies.clear();
        client.send({{"req_code", 3}, {"symbol", "EURUSD"}, {"interval", 5}, {"from", now - 3600}, {"to", -1}, {"login", 1001}});
        QTRY_COMPARE(client.codes(), QList<int>{3});
        const QJsonObject chart = client.replies.first();
        QCOMPARE(chart.value("symbol").toString(), QStringLiteral("EURUSD"));
        QCOMPARE(chart.value("interval").toInt(), 5);
        QVERIFY(chart.value("array").toArray().size() >= 12);
    }

    // Delayed replies leave later, in order; the stream is not delayed.
    void replyDelay()
    {
        SimTradeServer server;
        server.addAccount(1001, "pw");
        server.setReplyDelay(200);
        QVERIFY(server.listen());
        RawClient client(server.url());
        QVERIFY(client.waitConnected());
        QSignalSpy frames(&server, &SimTradeServer::frameReceived);
        client.send({{"req_code", 1}, {"id", 1001}, {"password", "pw"}, {"type", 3}});
        QVERIFY(frames.wait(5000));
        server.setPrice("EURUSD", 1.1, 1.2);
        QTRY_COMPARE(client.codes(), QList<int>{2});
        QTRY_COMPARE_WITH_TIMEOUT(client.codes().size(), 2 + 3 + 20, 5000);
        QCOMPARE(client.codes().mid(0, 5), (QList<int>{2, 1, 8, 4, 6}));
    }

    // Closing (or destroying) the server with clients still connected cuts them cleanly.
    void closeWithClientsConnected()
    {
        auto *server = new SimTradeServer;
        server->addAccount(1001, "pw");
        QVERIFY(server->listen());
        RawClient a(server->url());
        RawClient b(server->url());
        QVERIFY(a.waitConnected() && b.waitConnected());
        QTRY_COMPARE(server->connectionCount(), 2);
        a.send({{"req_code", 1}, {"id", 1001}, {"password", "pw"}, {"type", 3}});
        QTRY_VERIFY(a.codes().contains(6));
        server->close();
        QCOMPARE(server->connectionCount(), 0);
        QTRY_COMPARE(a.socket.state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(b.socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(server->listen());
        RawClient c(server->url());
        QVERIFY(c.waitConnected());
        delete server;
        QTRY_COMPARE(c.socket.state(), QAbstractSocket::UnconnectedState);
    }

    void streamAndInjection()
    {
        SimTradeServer server;
        server.addAccount(1001, "pw");
        server.setLoginSnapshot(false);
        QVERIFY(server.listen());
        RawClient client(server.url());
        QVERIFY(client.waitConnected());
        client.send({{"req_code", 1}, {"id", 1001}, {"password", "pw"}, {"type", 3}});
        QTRY_COMPARE(client.codes(), QList<int>{1});

        server.startPriceStream(10);
        QTRY_VERIFY(client.codes().count(2) >= 40);
        server.stopPriceStream();
        QVERIFY(!server.isStreaming());
        client.replies.clear();
        server.setPrice("EURUSD", 1.2, 1.3);
        QTRY_COMPARE(client.codes(), QList<int>{2});
        QCOMPARE(client.replies.first().value("bid").toDouble(), 1.2);
        server.addOrder(1001, {{"symbol", "EURUSD"}, {"type", 4}, {"volume", 100}, {"price", 1.5}});
        QTRY_COMPARE(client.codes(), (QList<int>{2, 4, 6}));
        QCOMPARE(client.last(6).value("array").toArray().size(), 1);

        // Prices that reach an order fill it; prices that reach a stop close the position.
        server.setPrice("EURUSD", 1.6, 1.6001);
        QTRY_COMPARE(client.last(6).value("array").toArray().size(), 0);
        QCOMPARE(server.positions(1001).size(), 1);
        const qint64 ticket = int64Of(server.positions(1001).first().toObject().value("ticket"));
        client.send({{"req_code", 4}, {"type", 2}, {"order_id", ticket}, {"sl", 1.55}, {"tp", 1.7}, {"login", 1001}});
        QTRY_COMPARE(client.last(7).value("status").toInt(), 10009);
        const double balance = server.balance(1001);
        server.setPrice("EURUSD", 1.71, 1.7101);
        QTRY_VERIFY(server.positions(1001).isEmpty());
        QVERIFY(server.balance(1001) > balance);
        QTRY_VERIFY(client.last(4).value("array").toArray().isEmpty() && client.codes().last() == 6);

        client.replies.clear();
        server.sendText("raw text");
        server.sendJson({{"res_code", 99}});
        QTRY_COMPARE(client.replies.size(), 2);
        QCOMPARE(client.replies.at(1), (QJsonObject{{"res_code", 99}}));
    }
};

CORVANE_TEST_MAIN(TestSimBroker)
#include "tst_simbroker.moc"
