#include "positiondatastore.h"
#include "symboldatastorage.h"
#include "testmain.h"


namespace {

// One reply element read as every record at once, so a row also shows which records ignore a key.
QVariantMap readAll(const QJsonObject &o)
{
    const TickData t = SymbolDataStorage::tickFromJson(o);
    const SymbolSetting s = SymbolDataStorage::settingFromJson(o);
    const Position p(o);
    const PendingOrder q(o);
    return { { "tick.symbol", t.symbol }, { "tick.timestamp", t.timestamp }, { "tick.digits", t.digits },
             { "tick.min_vol", t.min_vol }, { "setting.c_size", s.c_size }, { "setting.digits", s.digits },
             { "setting.min_vol", s.min_vol }, { "position.ticket", p.ticket }, { "position.type", p.type },
             { "position.price", p.price }, { "position.csize", p.csize }, { "position.digits", p.digits },
             { "position.volume", p.volume }, { "order.ticket", q.ticket }, { "order.type", q.type },
             { "order.price", q.price }, { "order.digits", q.digits }, { "order.volume", q.volume } };
}

// volume in the wire's 1/10000 lot
QJsonObject position(qint64 ticket, const QString &symbol, const QString &type, int volume, double price, double profit = 0)
{
    return { { "ticket", ticket }, { "symbol", symbol }, { "type", type }, { "volume", volume }, { "price_o", price },
             { "csize", 100000.0 }, { "r_profit", 1.0 }, { "profit", profit }, { "swap", -3.0 }, { "fee", -1.5 } };
}

QJsonObject quote(const QString &symbol, double bid, double ask, int digits = 5, qint64 timestamp = 1)
{
    return { { "symbol", symbol }, { "bid", bid }, { "ask", ask }, { "digits", digits }, { "timestamp", timestamp } };
}

TickData tick(const QString &symbol, double bid, double ask, int digits = 5)
{
    return { symbol, 1, bid, ask, 0.0, 0, digits }; // digits as given: the store must clamp them itself
}

QList<qint64> tickets(const QList<Position> &positions)
{
    QList<qint64> result;
    for (const Position &p : positions)
        result << p.ticket;
    return result;
}

} // namespace

class TestMarketData : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QJsonObject>("element");
        QTest::addColumn<QVariantMap>("expected"); // fields not named read as from an empty element (see reading)
        // Elements come from text, as on the wire: a QJsonObject built in code rounds 2^53 + 1.
        const QStringList literals{ "5.0", "5.5", "\"5\"", "2147483648", "2.6", "\"123\"", "true", "", "4294967301",
                                    "9007199254740993", "1e300", "nan", "2147483647", "100000000", "-1" };
        const QMap<QString, QVariantList> rules{
            { "text", { "", "", "5", "", "", "123", "", "", "", "", "", "", "", "", "" } },
            { "number", { 5.0, 5.5, 0.0, 2147483648.0, 2.6, 0.0, 0.0, 0.0, 4294967301.0, 9007199254740992.0, 1e300, {}, 2147483647.0, 1e8, -1.0 } },
            { "int32", { 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2147483647, 100000000, -1 } },
            { "digits", { 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, 15, 0 } }, // they size every price's text
            { "int64", { 5LL, 6LL, 5LL, 2147483648LL, 3LL, 123LL, 1LL, 0LL, 4294967301LL, 9007199254740993LL, 0LL, 0LL, 2147483647LL, 100000000LL, -1LL } },
            { "lots", { 0.0005, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 214748.3647, 10000.0, -0.0001 } } };
        // A key, then the fields it feeds and their rule: a quote's volumes are lots, a setting's
        // 1/10000 lot; a position's side is text, an order's type a number; "price_o" is the open price.
        const QStringList keys{ "symbol tick.symbol:text", "timestamp tick.timestamp:int64", "c_size setting.c_size:number",
                                "csize position.csize:number", "min_vol tick.min_vol:lots setting.min_vol:int64",
                                "volume position.volume:lots order.volume:lots", "ticket position.ticket:int64 order.ticket:int64",
                                "type position.type:text order.type:int32", "price_o position.price:number",
                                "price position.price:number order.price:number",
                                "digits tick.digits:digits setting.digits:digits position.digits:digits order.digits:digits" };
        for (const QString &keyRule : keys) {
            const QStringList parts = keyRule.split(' ');
            for (int i = 0; i < literals.size(); ++i) {
                QJsonObject element = QJsonDocument::fromJson(QString("{\"%1\":%2}").arg(parts[0], literals[i]).toUtf8()).object();
                if (literals[i] == "nan") // no JSON text for it
                    element.insert(parts[0], qQNaN());
                QVariantMap expected;
                for (const QString &field : parts.mid(1))
                    expected.insert(field.section(':', 0, 0), rules[field.section(':', 1)][i]);
                if (expected.first().isValid())
                    QTest::addRow("%s", QJsonDocument(element).toJson(QJsonDocument::Compact).constData()) << element << expected;
            }
        }
        QTest::newRow("price_o wins") << QJsonObject{ { "price", 1.1 }, { "price_o", 1.2 } } << QVariantMap{ { "position.price", 1.2 }, { "order.price", 1.1 } };
    }
    void reading()
    {
        QFETCH(QJsonObject, element);
        QFETCH(QVariantMap, expected);
        const QVariantMap actual = readAll(element);
        for (const QString &field : actual.keys()) {
            // A field the row does not name reads as from an empty element: no text, the number 0.
            const bool text = field == "tick.symbol" || field == "position.type";
            const QVariant wanted = expected.value(field, text ? QVariant(QString()) : QVariant(0));
            QVERIFY2(actual.value(field) == wanted, qPrintable(field + " = " + actual.value(field).toString()));
        }
    }

    // With no list yet, a reply lists every named symbol, EURUSD and GBPUSD lookalikes first (in
    // any case, reply order kept within each group); a list already there, restored or not,
    // survives every reply. Each reply announces the list, then the settings; clear() is silent.
    void symbolList()
    {
        SymbolDataStorage store;
        QStringList events;
        connect(&store, &SymbolDataStorage::symbolListChanged, [&](const QStringList &list) { events << list.join(','); });
        connect(&store, &SymbolDataStorage::symbolSettingChanged, [&] { events << "settings"; });
        const auto reply = [&store](const QStringList &names) {
            QJsonArray array;
            for (const QString &name : names)
                array.append(name.isEmpty() ? QJsonObject{ { "desc", "x" } } : QJsonObject{ { "symbol", name } });
            store.onSymbolListReceived({ { "array", array } });
        };
        reply({ "AUDUSD", "GBPUSD", "EURUSD", "USDJPY", "EURUSD.m" });
        reply({ "XAUUSD" });
        store.clear();
        reply({ "audusd", "eurusd", "", "xGbPuSdx" });
        store.setSymbols({ "XAUUSD", "AUDUSD" }, false);
        reply({ "AUDUSD", "GBPUSD" });
        QCOMPARE(events, (QStringList{ "GBPUSD,EURUSD,EURUSD.m,AUDUSD,USDJPY", "settings", "GBPUSD,EURUSD,EURUSD.m,AUDUSD,USDJPY",
                                       "settings", "eurusd,xGbPuSdx,audusd", "settings", "XAUUSD,AUDUSD", "settings" }));
        // Only a symbol the server never described gets defaults; the reply's own keep their zeros.
        const SymbolSetting made = store.symbolSetting("CADJPY"), read = store.symbolSetting("GBPUSD");
        QCOMPARE(QVariantList({ made.min_vol, made.max_vol, made.step_vol, made.c_size, read.max_vol, read.step_vol }),
                 QVariantList({ 100LL, 100000LL, 100LL, 100000.0, 0LL, 0LL }));
    }

    // Both stores pass on a quote only
    // Both stores pass on a quote only when its symbol's bid, ask or digits changed; the stored
    // quote keeps the time of the last one passed on.
    void repeatedQuoteIsDropped()
    {
        SymbolDataStorage store;
        PositionDataStore positions;
        QSignalSpy ticks(&store, &SymbolDataStorage::tickChanged);
        QSignalSpy totals(&positions, &PositionDataStore::netProfitChanged);
        QList<qint64> passed; // ticks, totals and the stored time after each quote
        for (const QJsonObject &q : { quote("EURUSD", 1.1, 1.2), quote("EURUSD", 1.1, 1.2, 5, 2), quote("EURUSD", 1.10001, 1.2, 5, 3),
                                      quote("EURUSD", 1.10001, 1.19999, 5, 4), quote("EURUSD", 1.10001, 1.19999, 4, 5), quote("", 1.3, 1.4, 5, 6) }) {
            store.onPriceReceived(q);
            positions.onPriceChanged(SymbolDataStorage::tickFromJson(q));
            passed << ticks.count() * 100 + totals.count() * 10 + store.tick("EURUSD").timestamp;
        }
        QCOMPARE(passed, (QList<qint64>{ 111, 111, 223, 334, 445, 445 }));
    }

    // Per accepted tick: each moved position (a buy at the bid, a sell at the ask, anything but
    // "sell" a buy), then its symbol's count, volumes, plain mean open prices and profit, then the
    // total. A position whose price did not move is counted silently; swap and fee stay out.
    // Digits are clamped to 0..15 also for a quote built in code.
    void signalsPerTick()
    {
        PositionDataStore store;
        store.setOpenPositions({ position(9, "EURUSD", "buy", 1000, 1.10), position(2, "EURUSD", "sell", 7000, 1.25),
                                 position(30, "EURUSD", "buy", 20000, 1.30), position(1, "EURUSD", "Sell", 3000, 1.20),
                                 position(50, "GBPUSD", "sell", 1000, 1.30, 4.0), position(51, "GBPUSD", "sell", 3000, 1.20) });
        QStringList events; // every signal as text, in the order emitted: ticket@price:profit/digits, ...
        connect(&store, &PositionDataStore::positionProfitChanged, [&](const Position &p) {
            events << QString("%1@%2:%3/%4").arg(p.ticket).arg(p.current_price).arg(p.profit).arg(p.digits);
        });
        connect(&store, &PositionDataStore::symbolNetProfitChanged, [&](const QString &symbol, int n, double bv, double bp, double sv, double sp, double profit) {
            events << QString("%1:%2 buy %3@%4 sell %5@%6 %7").arg(symbol).arg(n).arg(bv).arg(bp).arg(sv).arg(sp).arg(profit);
        });
        connect(&store, &PositionDataStore::netProfitChanged, [&](double total) { events << QString("net:%1").arg(total); });
        store.onPriceChanged(tick("EURUSD", 1.2, 1.26, 100000000));
        store.onPriceChanged(tick("GBPUSD", 1.0, 1.25));
        store.onPriceChanged(tick("EURUSD", 1.3, 1.26, -7));
        store.onPriceChanged(tick("USDJPY", 150.0, 150.1));
        QCOMPARE(events, (QStringList{ "1@1.2:0/15", "2@1.26:-700/15", "9@1.2:1000/15", "30@1.2:-20000/15",
                                       "EURUSD:4 buy 2.4@1.2 sell 0.7@1.25 -19700", "net:-19696",
                                       "50@1.25:500/5", "51@1.25:-1500/5", "GBPUSD:2 buy 0@0 sell 0.4@1.25 -1000", "net:-20700",
                                       "1@1.3:3000/0", "9@1.3:2000/0", "30@1.3:0/0", "EURUSD:4 buy 2.4@1.2 sell 0.7@1.25 4300",
                                       "net:3300", "net:3300" }));

        // The last ticks outlive clear(), so positions loaded at the next login are priced at
        // once, and the same prices again are still a repeat.
        store.clear();
        events.clear();
        store.setOpenPositions({ position(1, "EURUSD", "buy", 1000, 1.0, 7.0), position(2, "EURUSD", "sell", 1000, 1.0, 8.0),
                                 position(3, "AUDUSD", "buy", 1000, 1.0, 9.0) });
        store.onPriceChanged(tick("EURUSD", 1.3, 1.26, -7));
        store.onPriceChanged(tick("USDJPY", 1.0, 1.0));
        QCOMPARE(events, QStringList{ "net:24" });
        QCOMPARE(QVariantList({ store.position(1).current_price, store.position(2).current_price, store.position(3).current_price }),
                 QVariantList({ 1.3, 1.26, 0.0 }));

        // A receiver that reloads the store in the middle of a tick must not pull positions from
        // under the loop (caught by the address sanitizer build).
        // Nor the position from under the receivers after it.
        connect(&store, &PositionDataStore::positionProfitChanged, this, [&] { store.setOpenPositions({ position(100, "GBPUSD", "buy", 1000, 1.0, 3.0) }); });
        connect(&store, &PositionDataStore::positionProfitChanged, this, [&](const Position &p) { events << QString("after the reload %1 %2").arg(p.ticket).arg(p.symbol); });
        events.clear();
        store.onPriceChanged(tick("EURUSD", 1.4, 1.5));
        QCOMPARE(events, (QStringList{ "1@1.4:4000/5", "after the reload 1 EURUSD", "net:3" }));
        QCOMPARE(tickets(store.openPositions()), QList<qint64>{ 100 });
    }

    // Tickets above 32 bits never merge with small ones; a miss never adds a ticket-0 row. Sides
    // are "sell" and anything else, for the position asked about and for the others alike.
    void ticketLookups()
    {
        const qint64 wide = (Q_INT64_C(1) << 32) + 5;
        PositionDataStore store;
        store.setOpenPositions({ position(5, "EURUSD", "buy", 1000, 1.0), position(wide, "EURUSD", "sell", 2000, 1.0),
                                 position(3, "EURUSD", "Sell", 1000, 1.0), position(6, "GBPUSD", "sell", 1000, 1.0) });
        store.setPendingOrders({ QJsonObject{ { "ticket", 5 }, { "type", 2 } }, QJsonObject{ { "ticket", wide }, { "type", 5 } } });
        bool found = true, orderFound = true;
        QCOMPARE(QVariantList({ store.position(wide).volume, store.position(5).volume, store.pendingOrder(wide).type,
                                store.pendingOrder(5).type, store.position(77, &found).ticket, store.pendingOrder(77, &orderFound).ticket,
                                found, orderFound, store.pendingOrders().size() }),
                 QVariantList({ 0.2, 0.1, 5, 2, 0LL, 0LL, false, false, 2 }));
        QCOMPARE(QList<QList<qint64>>({ tickets(store.oppositePositions(wide)), tickets(store.oppositePositions(3)),
                                        tickets(store.oppositePositions(6)), tickets(store.oppositePositions(77)),
                                        tickets(store.openPositions()) }),
                 QList<QList<qint64>>({ { 3, 5 }, { wide }, {}, {}, { 3, 5, 6, wide } }));
    }
};

CORVANE_TEST_MAIN(TestMarketData)
#include "tst_marketdata.moc"
