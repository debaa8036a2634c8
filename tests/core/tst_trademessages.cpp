#include "testmain.h"
#include "trademessages.h"


using namespace TradeMessages;

class TestTradeMessages : public QObject
{
    Q_OBJECT
private slots:
    // The exact text the server gets: keys, value types and values of each request, and the
    // volume in 1/10000 lots, rounded to the nearest unit (truncating would send one unit less);
    // and what the journal calls a request.
    void requestsOnTheWire_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto wire = [](const QJsonObject &request) { return QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)); };
        const QString symbol = QStringLiteral("EURUSD");
        constexpr qint64 Wide = 5000000001LL; // above 2^31 - 1
        QTest::newRow("lots 0.1") << QString::number(lotsToWireVolume(0.1)) << "1000";
        QTest::newRow("lots 0.57") << QString::number(lotsToWireVolume(0.57)) << "5700";
        QTest::newRow("lots 2.01") << QString::number(lotsToWireVolume(2.01)) << "20100";
        QTest::newRow("lots not a number") << QString::number(lotsToWireVolume(qQNaN())) << "0";
        QTest::newRow("lots infinite") << QString::number(lotsToWireVolume(qInf())) << "0";
        QTest::newRow("lots beyond 2^53 units") << QString::number(lotsToWireVolume(1e12)) << "0";
        QTest::newRow("chart history") << wire(chartHistoryRequest(QStringLiteral("XAUUSD"), 40000, 0, -1)) << R"({"from":0,"interval":40000,"req_code":3,"symbol":"XAUUSD","to":-1})";
        QTest::newRow("trade history") << wire(tradeHistoryRequest(1700000000, 1700086400)) << R"({"from":1700000000,"req_code":5,"to":1700086400})";
        QTest::newRow("one-click market") << wire(marketOrderRequest(symbol, 1, 0.1)) << R"({"order_type":1,"req_code":4,"symbol":"EURUSD","type":0,"volume":1000})";
        QTest::newRow("dialog market, no stops") << wire(dialogMarketOrderRequest(symbol, 0, 0.57, 0.0, 0.0)) << R"({"order_type":0,"req_code":4,"symbol":"EURUSD","type":0,"volume":5700})";
        QTest::newRow("dialog market, both stops") << wire(dialogMarketOrderRequest(symbol, 0, 0.1, 1.05, 1.15)) << R"({"order_type":0,"req_code":4,"sl":1.05,"symbol":"EURUSD","tp":1.15,"type":0,"volume":1000})";
        // type, ticket, pending type, price, stop-limit price (flag, value), sl, tp, lots, symbol, expiry kind and minutes, opposite ticket
        const PlaceRequest modify{ModifyOrder, 12345, 3, 1.2345, false, 0.0, 1.25, 1.2, 0.57, symbol, 1, 0, 0};
        QTest::newRow("place") << wire(placeRequest(modify)) << R"({"order_id":12345,"order_type":3,"price":1.2345,"req_code":4,"sl":1.25,"symbol":"EURUSD","t_time":1,"tp":1.2,"type":1,"volume":5700})";
        const PlaceRequest stopLimit{NewOrder, 12345, 6, 1.2345, true, 1.2, 0.0, 0.0, 2.01, symbol, 2, 90, 0};
        QTest::newRow("place stop limit, expiry") << wire(placeRequest(stopLimit)) << R"({"exp_mins":90,"order_id":12345,"order_type":6,"price":1.2345,"req_code":4,"s_price":1.2,"sl":0,"symbol":"EURUSD","t_time":2,"tp":0,"type":0,"volume":20100})";
        const PlaceRequest hedge{CloseByHedge, Wide, 3, 1.2345, false, 0.0, 1.25, 1.2, 0.57, symbol, 1, 0, Wide + 2};
        QTest::newRow("close by hedge") << wire(placeRequest(hedge)) << R"({"order_id":5000000001,"order_type":3,"position_by_id":5000000003,"position_id":5000000001,"price":1.2345,"req_code":4,"sl":1.25,"symbol":"EURUSD","t_time":1,"tp":1.2,"type":10,"volume":5700})";
        QTest::newRow("close position row") << wire(closeTradeRequest(Wide, 1)) << R"({"order_id":5000000001,"req_code":4,"type":4})";
        QTest::newRow("delete order row") << wire(closeTradeRequest(55, 2)) << R"({"order_id":55,"req_code":4,"type":3})";
        QTest::newRow("other row") << wire(closeTradeRequest(55, 3)) << "{}";
        QTest::newRow("ticket 0") << wire(closeTradeRequest(0, 1)) << "{}";
        QTest::newRow("close all") << closeAllMessage(Wide, 2) << R"({"dealer":1000,"login":5000000001,"req_code":4,"sub_type":2,"type":9})";
        QTest::newRow("refresh after login") << wire(accountRefreshAfterLoginRequest(Wide)) << R"({"is_last":1,"login":5000000001,"req_code":4,"type":5})";
        QTest::newRow("refresh") << wire(accountRefreshRequest()) << R"({"req_code":4,"type":5})";
        // As the journal names a request that was not sent or not answered.
        QTest::newRow("named: pending order") << describe(placeRequest(stopLimit)) << "Buy Stop Limit 2.01 EURUSD";
        QTest::newRow("named: modify order") << describe(placeRequest(modify)) << "Modify Order #12345";
        QTest::newRow("named: close by hedge") << describe(placeRequest(hedge)) << "Close Position By Hedge #5000000001";
        QTest::newRow("named: close the losing positions") << describe(closeAllRequest(Wide, 2)) << "Close All Loss Position";
    }
    void requestsOnTheWire()
    {
        QFETCH(QString, text);
        QTEST(text, "expected");
    }
};

CORVANE_TEST_MAIN(TestTradeMessages)
#include "tst_trademessages.moc"
