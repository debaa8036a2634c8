#include "testmain.h"
#include "trademessages.h"

#include <QJsonDocument>

#include <cmath>
#include <limits>

using namespace TradeMessages;

namespace {

// The JSON type of each key, as the server reads it: "i" integral number, "d" number,
// "s" string.
QString shapeOf(const QJsonObject &object)
{
    QStringList parts;
    for (auto it = object.begin(); it != object.end(); ++it) {
        QString kind = QStringLiteral("?");
        if (it.value().isString())
            kind = QStringLiteral("s");
        else if (it.value().isDouble())
            kind = std::floor(it.value().toDouble()) == it.value().toDouble() && it.key() != QLatin1String("price")
                    && it.key() != QLatin1String("s_price") && it.key() != QLatin1String("sl")
                    && it.key() != QLatin1String("tp")
                ? QStringLiteral("i")
                : QStringLiteral("d");
        parts.append(it.key() + QLatin1Char(':') + kind);
    }
    return parts.join(QLatin1Char(' '));
}

qint64 int64Of(const QJsonValue &value)
{
    return value.toVariant().toLongLong();
}

PlaceRequest place(int type)
{
    PlaceRequest r;
    r.type = type;
    r.ticket = 12345;
    r.orderType = 3;
    r.price = 1.2345;
    r.stopLoss = 1.25;
    r.takeProfit = 1.2;
    r.lots = 0.57;
    r.symbol = QStringLiteral("EURUSD");
    r.expiryKind = 1;
    return r;
}

} // namespace

class TestTradeMessages : public QObject
{
    Q_OBJECT
private slots:
    void lotsToWire_data()
    {
        QTest::addColumn<double>("lots");
        QTest::addColumn<qint64>("wire");
        QTest::newRow("0.01") << 0.01 << qint64(100);
        QTest::newRow("0.1") << 0.1 << qint64(1000);
        QTest::newRow("0.57") << 0.57 << qint64(5700);
        QTest::newRow("2.01") << 2.01 << qint64(20100);
        QTest::newRow("1.13") << 1.13 << qint64(11300);
        QTest::newRow("4.35") << 4.35 << qint64(43500);
        QTest::newRow("100") << 100.0 << qint64(1000000);
        QTest::newRow("0") << 0.0 << qint64(0);
        QTest::newRow("half unit") << 0.00005 << qint64(1);
        QTest::newRow("negative") << -0.57 << qint64(-5700);
        QTest::newRow("not a number") << std::nan("") << qint64(0);
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << qint64(0);
        QTest::newRow("beyond 2^53 units") << 1e12 << qint64(0);
        QTest::newRow("largest exact") << 900000000000.0 << qint64(9000000000000000LL);
    }
    void lotsToWire()
    {
        QFETCH(double, lots);
        QFETCH(qint64, wire);
        QCOMPARE(lotsToWireVolume(lots), wire);
        // Every sender carries the same conversion.
        QCOMPARE(int64Of(marketOrderRequest(QStringLiteral("X"), 0, lots).value("volume")), wire);
        PlaceRequest r = place(NewOrder);
        r.lots = lots;
        QCOMPARE(int64Of(placeRequest(r).value("volume")), wire);
    }

    void requestShapes_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::addColumn<QString>("shape");

        QTest::newRow("chart history") << chartHistoryRequest(QStringLiteral("EURUSD"), 15, 1700000000, -1)
                                       << "from:i interval:i req_code:i symbol:s to:i";
        QTest::newRow("trade history") << tradeHistoryRequest(1700000000, 1700086400)
                                       << "from:i req_code:i to:i";
        QTest::newRow("one-click market") << marketOrderRequest(QStringLiteral("EURUSD"), 1, 0.1)
                                          << "order_type:i req_code:i symbol:s type:i volume:i";
        QTest::newRow("dialog market, no stops")
            << dialogMarketOrderRequest(QStringLiteral("EURUSD"), 0, 0.1, 0.0, 0.0)
            << "order_type:i req_code:i symbol:s type:i volume:i";
        QTest::newRow("dialog market, stops")
            << dialogMarketOrderRequest(QStringLiteral("EURUSD"), 0, 0.1, 1.05, 1.15)
            << "order_type:i req_code:i sl:d symbol:s tp:d type:i volume:i";
        QTest::newRow("dialog market, stop loss only")
            << dialogMarketOrderRequest(QStringLiteral("EURUSD"), 0, 0.1, 1.05, -1.0)
            << "order_type:i req_code:i sl:d symbol:s type:i volume:i";

        const QString placeShape = QStringLiteral(
            "order_id:i order_type:i price:d req_code:i sl:d symbol:s t_time:i tp:d type:i volume:i");
        for (const int type : {NewOrder, ModifyOrder, ModifyPosition, DeleteOrder, ClosePosition})
            QTest::addRow("place, mode %d", type) << placeRequest(place(type)) << placeShape;
        PlaceRequest full = place(NewOrder);
        full.orderType = 6;
        full.hasStopLimitPrice = true;
        full.stopLimitPrice = 1.2;
        full.expiryMinutes = 90;
        QTest::newRow("place, stop limit with expiry")
            << placeRequest(full)
            << "exp_mins:i order_id:i order_type:i price:d req_code:i s_price:d sl:d symbol:s t_time:i tp:d type:i volume:i";
        PlaceRequest hedge = place(CloseByHedge);
        hedge.oppositeTicket = 777;
        QTest::newRow("place, close by hedge")
            << placeRequest(hedge)
            << "order_id:i order_type:i position_by_id:i position_id:i price:d req_code:i sl:d symbol:s t_time:i tp:d type:i volume:i";
        QTest::newRow("close position row") << closeTradeRequest(55, 1) << "order_id:i req_code:i type:i";
        QTest::newRow("delete order row") << closeTradeRequest(55, 2) << "order_id:i req_code:i type:i";
        QTest::newRow("other row") << closeTradeRequest(55, 3) << "";
        QTest::newRow("ticket 0") << closeTradeRequest(0, 1) << "";
        QTest::newRow("close all")
            << QJsonDocument::fromJson(closeAllMessage(1001, 2).toUtf8()).object()
            << "dealer:i login:i req_code:i sub_type:i type:i";
        QTest::newRow("refresh after login") << accountRefreshAfterLoginRequest(1001)
                                             << "is_last:i login:i req_code:i type:i";
        QTest::newRow("refresh") << accountRefreshRequest() << "req_code:i type:i";
    }
    void requestShapes()
    {
        QFETCH(QJsonObject, request);
        QFETCH(QString, shape);
        QCOMPARE(shapeOf(request), shape);
    }

    void requestValues()
    {
        const QJsonObject chart = chartHistoryRequest(QStringLiteral("XAUUSD"), 40000, 0, -1);
        QCOMPARE(chart, (QJsonObject{{"from", 0}, {"to", -1}, {"symbol", "XAUUSD"}, {"interval", 40000}, {"req_code", 3}}));

        QCOMPARE(marketOrderRequest(QStringLiteral("EURUSD"), 1, 0.1),
                 (QJsonObject{{"type", 0}, {"order_type", 1}, {"volume", 1000}, {"symbol", "EURUSD"}, {"req_code", 4}}));

        PlaceRequest hedge = place(CloseByHedge);
        hedge.oppositeTicket = 777;
        const QJsonObject h = placeRequest(hedge);
        QCOMPARE(h.value("type").toInt(), 10);
        QCOMPARE(int64Of(h.value("order_id")), 12345);
        QCOMPARE(int64Of(h.value("position_id")), 12345);
        QCOMPARE(int64Of(h.value("position_by_id")), 777);
        QCOMPARE(h.value("order_type").toInt(), 3);
        QCOMPARE(h.value("t_time").toInt(), 1);

        QCOMPARE(closeTradeRequest(55, 1).value("type").toInt(), int(ClosePosition));
        QCOMPARE(closeTradeRequest(55, 2).value("type").toInt(), int(DeleteOrder));

        const QString closeAll = closeAllMessage(1001, 1);
        QVERIFY(!closeAll.contains(QLatin1Char(' ')));
        QCOMPARE(QJsonDocument::fromJson(closeAll.toUtf8()).object(),
                 (QJsonObject{{"login", 1001}, {"type", 9}, {"dealer", 1000}, {"sub_type", 1}, {"req_code", 4}}));
        QCOMPARE(accountRefreshAfterLoginRequest(1001),
                 (QJsonObject{{"type", 5}, {"login", 1001}, {"is_last", 1}, {"req_code", 4}}));
    }

    // Tickets and account numbers above 2^31 - 1 go out as they are, never cut to another number.
    void wideNumbersStayIntact()
    {
        constexpr qint64 Wide = 5000000001LL;
        PlaceRequest hedge = place(CloseByHedge);
        hedge.ticket = Wide;
        hedge.oppositeTicket = Wide + 2;
        const QJsonObject h = placeRequest(hedge);
        QCOMPARE(int64Of(h.value("order_id")), Wide);
        QCOMPARE(int64Of(h.value("position_id")), Wide);
        QCOMPARE(int64Of(h.value("position_by_id")), Wide + 2);
        QCOMPARE(int64Of(closeTradeRequest(Wide, 1).value("order_id")), Wide);
        QCOMPARE(int64Of(accountRefreshAfterLoginRequest(Wide).value("login")), Wide);
        QVERIFY(closeAllMessage(Wide, 0).contains(QStringLiteral("\"login\":5000000001")));
        const QString text = QString::fromUtf8(QJsonDocument(closeTradeRequest(Wide, 2)).toJson(QJsonDocument::Compact));
        QVERIFY(text.contains(QStringLiteral("\"order_id\":5000000001")));
    }
};

CORVANE_TEST_MAIN(TestTradeMessages)
#include "tst_trademessages.moc"
