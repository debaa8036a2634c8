#include "positiondatastore.h"
#include "testmain.h"

#include <QSignalSpy>

namespace {

// volume in the wire's 1/10000 lot
QJsonObject positionJson(qint64 ticket, const QString &symbol, const QString &type, int volume,
                         double price, double profit = 0.0)
{
    return { { "ticket", ticket }, { "symbol", symbol }, { "type", type }, { "volume", volume },
             { "price_o", price }, { "csize", 100000.0 }, { "r_profit", 1.0 }, { "profit", profit },
             { "digits", 5 }, { "swap", -3.0 }, { "fee", -1.5 } };
}

QJsonObject orderJson(qint64 ticket, int type)
{
    return { { "ticket", ticket }, { "symbol", "EURUSD" }, { "type", type }, { "volume", 1000 },
             { "price", 1.05 } };
}

TickData makeTick(const QString &symbol, double bid, double ask, int digits = 5, qint64 timestamp = 1)
{
    TickData tick;
    tick.symbol = symbol;
    tick.bid = bid;
    tick.ask = ask;
    tick.digits = digits;
    tick.timestamp = timestamp;
    return tick;
}

QList<qint64> tickets(const QList<Position> &positions)
{
    QList<qint64> result;
    for (const Position &p : positions)
        result << p.ticket;
    return result;
}

// Records every signal of one store as text, in the order emitted.
struct Recorder
{
    explicit Recorder(PositionDataStore &store)
    {
        QObject::connect(&store, &PositionDataStore::openPositionChanged, &store,
                         [this] { events << "open"; });
        QObject::connect(&store, &PositionDataStore::positionProfitChanged, &store,
                         [this](const Position &p) { events << QString("position:%1").arg(p.ticket); });
        QObject::connect(&store, &PositionDataStore::symbolNetProfitChanged, &store,
                         [this](const QString &symbol, int count) {
                             events << QString("symbol:%1:%2").arg(symbol).arg(count);
                         });
        QObject::connect(&store, &PositionDataStore::netProfitChanged, &store,
                         [this](double total) { events << QString("net:%1").arg(total, 0, 'f', 2); });
    }
    QStringList events;
};

} // namespace

class TestPositionStore : public QObject
{
    Q_OBJECT

private slots:
    void profitAtBidOrAsk_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<double>("currentPrice");
        QTest::addColumn<double>("profit");
        QTest::newRow("buy closes at the bid") << "buy" << 1.1010 << 50.0;
        QTest::newRow("sell closes at the ask") << "sell" << 1.1012 << -60.0;
        QTest::newRow("odd case counts as buy") << "Sell" << 1.1010 << 50.0;
        QTest::newRow("empty side counts as buy") << "" << 1.1010 << 50.0;
    }
    void profitAtBidOrAsk()
    {
        QFETCH(QString, side);
        QFETCH(double, currentPrice);
        QFETCH(double, profit);
        PositionDataStore store;
        store.setOpenPositions({ positionJson(7, "EURUSD", side, 5000, 1.1000, 12.0) });
        QSignalSpy changed(&store, &PositionDataStore::positionProfitChanged);
        QSignalSpy net(&store, &PositionDataStore::netProfitChanged);

        store.onPriceChanged(makeTick("EURUSD", 1.1010, 1.1012, 4));
        QCOMPARE(changed.count(), 1);
        const Position sent = changed.first().first().value<Position>();
        const Position kept = store.position(7);
        for (const Position &p : { sent, kept }) {
            QCOMPARE(p.current_price, currentPrice);
            QCOMPARE(p.profit, profit);   // swap and fee stay out of it
            QCOMPARE(p.digits, 4);
            QCOMPARE(p.type, side);
        }
        QCOMPARE(net.count(), 1);
        QCOMPARE(net.first().first().toDouble(), profit);
    }

    // Position digits format the trade table's prices; a quote built in code is clamped too.
    void positionDigitsStayPrintable()
    {
        PositionDataStore store;
        store.setOpenPositions({ positionJson(1, "EURUSD", "buy", 1000, 1.0) });
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.2, 100000000));
        QCOMPARE(store.position(1).digits, 15);
        store.onPriceChanged(makeTick("EURUSD", 1.3, 1.4, -7));
        QCOMPARE(store.position(1).digits, 0);
    }

    void symbolSummary_data()
    {
        QTest::addColumn<QList<qint64>>("ticketOrder");
        QTest::newRow("ascending") << QList<qint64>{ 1, 2, 3, 4 };
        QTest::newRow("shuffled") << QList<qint64>{ 9, 2, 30, 1 };
    }
    void symbolSummary()
    {
        QFETCH(QList<qint64>, ticketOrder);
        PositionDataStore store;
        store.setOpenPositions({ positionJson(ticketOrder[0], "EURUSD", "buy", 1000, 1.10),
                                 positionJson(ticketOrder[1], "EURUSD", "sell", 7000, 1.25),
                                 positionJson(ticketOrder[2], "EURUSD", "buy", 20000, 1.30),
                                 positionJson(ticketOrder[3], "EURUSD", "buy", 3000, 1.20),
                                 positionJson(50, "GBPUSD", "sell", 1000, 1.30, 4.0) });
        QSignalSpy summary(&store, &PositionDataStore::symbolNetProfitChanged);
        QSignalSpy net(&store, &PositionDataStore::netProfitChanged);
        store.onPriceChanged(makeTick("EURUSD", 1.20, 1.21));

        QCOMPARE(summary.count(), 1);
        const QList<QVariant> args = summary.first();
        QCOMPARE(args.at(0).toString(), QString("EURUSD"));
        QCOMPARE(args.at(1).toInt(), 4);
        QCOMPARE(args.at(2).toDouble(), 2.4);          // buy volume, lots
        QCOMPARE(args.at(3).toDouble(), 1.20);         // unweighted mean of 1.10, 1.30, 1.20
        QCOMPARE(args.at(4).toDouble(), 0.7);          // sell volume
        QCOMPARE(args.at(5).toDouble(), 1.25);
        const double buyProfit = (1.20 - 1.10) * 100000 * 0.1 + (1.20 - 1.30) * 100000 * 2.0;
        const double sellProfit = (1.25 - 1.21) * 100000 * 0.7;
        QCOMPARE(args.at(6).toDouble(), buyProfit + sellProfit);
        // The total adds the other symbol's stored profit.
        QCOMPARE(net.first().first().toDouble(), buyProfit + sellProfit + 4.0);
    }

    void meanIsZeroForAnEmptySide()
    {
        PositionDataStore store;
        store.setOpenPositions({ positionJson(1, "EURUSD", "sell", 1000, 1.10),
                                 positionJson(2, "EURUSD", "sell", 1000, 1.20) });
        QSignalSpy summary(&store, &PositionDataStore::symbolNetProfitChanged);
        store.onPriceChanged(makeTick("EURUSD", 1.0, 1.0));
        QCOMPARE(summary.first().at(2).toDouble(), 0.0);
        QCOMPARE(summary.first().at(3).toDouble(), 0.0);
        QCOMPARE(summary.first().at(5).toDouble(), 1.15);
    }

    // For one accepted tick: each moved position, then its symbol, then the total.
    void signalOrderPerTick()
    {
        PositionDataStore store;
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.2));
        store.setOpenPositions({ positionJson(3, "EURUSD", "buy", 1000, 1.0, 1.0),
                                 positionJson(1, "EURUSD", "sell", 1000, 1.0, 2.0),
                                 positionJson(2, "GBPUSD", "buy", 1000, 1.0, 4.0) });
        Recorder recorder(store);

        // Only the ask moves: the buy keeps its price, profit and silence, yet is counted.
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.3));
        const double sellProfit = (1.0 - 1.3) * 100000 * 0.1;
        QCOMPARE(recorder.events, (QStringList{ "position:1", "symbol:EURUSD:2",
                                                QString("net:%1").arg(1.0 + sellProfit + 4.0, 0, 'f', 2) }));
        QCOMPARE(store.position(3).profit, 1.0);

        recorder.events.clear();
        store.onPriceChanged(makeTick("EURUSD", 1.2, 1.4));
        QCOMPARE(recorder.events.mid(0, 3), (QStringList{ "position:1", "position:3", "symbol:EURUSD:2" }));
        QCOMPARE(recorder.events.size(), 4);
        QVERIFY(recorder.events.last().startsWith("net:"));
    }

    void tickFilter_data()
    {
        QTest::addColumn<TickData>("next");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("repeat with later time") << makeTick("EURUSD", 1.1, 1.2, 5, 99) << QStringList();
        QTest::newRow("digits changed") << makeTick("EURUSD", 1.1, 1.2, 4) << QStringList{ "net:5.00" };
        QTest::newRow("empty symbol") << makeTick("", 1.3, 1.4) << QStringList();
        QTest::newRow("symbol without positions") << makeTick("USDJPY", 150.0, 150.1)
                                                  << QStringList{ "net:5.00" };
    }
    void tickFilter()
    {
        QFETCH(TickData, next);
        QFETCH(QStringList, events);
        PositionDataStore store;
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.2));
        // Loaded after the tick, so already at its price: reply profits stay.
        store.setOpenPositions({ positionJson(1, "EURUSD", "buy", 1000, 1.1, 2.0),
                                 positionJson(2, "GBPUSD", "buy", 1000, 1.1, 3.0) });
        Recorder recorder(store);
        store.onPriceChanged(next);
        if (next.symbol == "EURUSD" && !events.isEmpty())
            events.prepend("symbol:EURUSD:1");
        QCOMPARE(recorder.events, events);
    }

    // Every announced total is the sum of the positions' profits in ticket order, also when
    // the ticking symbol has no positions or a reload came in between.
    void totalFollowsEveryChange()
    {
        PositionDataStore store;
        store.setOpenPositions({ positionJson(4, "EURUSD", "buy", 1300, 1.1, 0.1),
                                 positionJson(2, "GBPUSD", "sell", 700, 1.3, 0.2),
                                 positionJson(9, "EURUSD", "sell", 100, 1.2, 0.3) });
        QSignalSpy net(&store, &PositionDataStore::netProfitChanged);
        const auto sum = [&store] {
            double total = 0.0;
            for (const Position &p : store.openPositions())
                total += p.profit;
            return total;
        };
        const QList<TickData> ticks{ makeTick("USDJPY", 150.0, 150.1), makeTick("EURUSD", 1.13, 1.14),
                                     makeTick("USDJPY", 150.2, 150.3), makeTick("GBPUSD", 1.27, 1.28),
                                     makeTick("EURUSD", 1.11, 1.12), makeTick("USDJPY", 150.0, 150.1) };
        for (const TickData &tick : ticks) {
            store.onPriceChanged(tick);
            QVERIFY(net.last().first().toDouble() == sum());
        }
        store.setOpenPositions({ positionJson(1, "GBPUSD", "buy", 1000, 1.0, 5.5) });
        store.onPriceChanged(makeTick("USDJPY", 151.0, 151.1));
        QCOMPARE(net.last().first().toDouble(), 5.5);
        store.clear();
        store.onPriceChanged(makeTick("USDJPY", 152.0, 152.1));
        QCOMPARE(net.last().first().toDouble(), 0.0);
    }

    // The last ticks outlive clear(), so positions loaded at the next login are priced at once.
    void ticksBeforeClearPriceLaterLoads()
    {
        PositionDataStore store;
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.2));
        store.setPendingOrders({ orderJson(1, 2) });
        store.clear();
        QVERIFY(store.openPositions().isEmpty());
        QVERIFY(store.pendingOrders().isEmpty());

        Recorder recorder(store);
        store.setOpenPositions({ positionJson(1, "EURUSD", "buy", 1000, 1.0, 7.0),
                                 positionJson(2, "EURUSD", "sell", 1000, 1.0, 8.0),
                                 positionJson(3, "GBPUSD", "buy", 1000, 1.0, 9.0) });
        QCOMPARE(recorder.events, QStringList{ "open" });
        QCOMPARE(store.position(1).current_price, 1.1);
        QCOMPARE(store.position(2).current_price, 1.2);
        QCOMPARE(store.position(3).current_price, 0.0);
        QCOMPARE(store.position(1).profit, 7.0);

        // The same prices again are still a repeat after the clear.
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.2, 5, 50));
        QCOMPARE(recorder.events, QStringList{ "open" });
    }

    void wideTicketsStayApart()
    {
        const qint64 wide = (Q_INT64_C(1) << 32) + 5;
        const qint64 justAbove = Q_INT64_C(2147483648);
        PositionDataStore store;
        store.setOpenPositions({ positionJson(5, "EURUSD", "buy", 1000, 1.0),
                                 positionJson(wide, "EURUSD", "sell", 2000, 1.0),
                                 positionJson(justAbove, "GBPUSD", "buy", 3000, 1.0) });
        store.setPendingOrders({ orderJson(5, 2), orderJson(wide, 5) });

        bool found = false;
        QCOMPARE(store.position(wide, &found).volume, 0.2);
        QVERIFY(found);
        QCOMPARE(store.position(5).volume, 0.1);
        QCOMPARE(store.position(justAbove).volume, 0.3);
        QCOMPARE(store.pendingOrder(wide, &found).type, 5);
        QVERIFY(found);
        QCOMPARE(store.pendingOrder(5).type, 2);
        QCOMPARE(tickets(store.oppositePositions(wide)), QList<qint64>{ 5 });
        QCOMPARE(tickets(store.oppositePositions(5)), QList<qint64>{ wide });
        QCOMPARE(tickets(store.openPositions()), (QList<qint64>{ 5, justAbove, wide }));
    }

    // A miss must not leave a ticket-0 row behind for the trade table.
    void missingTicketLeavesStoreUnchanged()
    {
        PositionDataStore store;
        store.setOpenPositions({ positionJson(1, "EURUSD", "buy", 1000, 1.0) });
        store.setPendingOrders({ orderJson(2, 3) });

        bool found = true;
        const Position none = store.position(77, &found);
        QVERIFY(!found);
        QCOMPARE(none.ticket, qint64(0));
        QVERIFY(none.symbol.isEmpty());
        found = true;
        QCOMPARE(store.pendingOrder(77, &found).ticket, qint64(0));
        QVERIFY(!found);
        QVERIFY(store.oppositePositions(77).isEmpty());
        store.position(78);
        store.pendingOrder(78);

        QCOMPARE(tickets(store.openPositions()), QList<qint64>{ 1 });
        QCOMPARE(store.pendingOrders().size(), 1);
    }

    void oppositePositions_data()
    {
        QTest::addColumn<qint64>("ticket");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("buy") << qint64(1) << QList<qint64>{ 2 };
        QTest::newRow("sell") << qint64(2) << QList<qint64>{ 1, 3, 4 };
        QTest::newRow("odd 'Sell' is a buy") << qint64(3) << QList<qint64>{ 2 };
        QTest::newRow("odd 'BUY' is a buy") << qint64(4) << QList<qint64>{ 2 };
        QTest::newRow("alone on its symbol") << qint64(5) << QList<qint64>();
    }
    void oppositePositions()
    {
        QFETCH(qint64, ticket);
        QFETCH(QList<qint64>, expected);
        PositionDataStore store;
        store.setOpenPositions({ positionJson(4, "EURUSD", "BUY", 1000, 1.0),
                                 positionJson(2, "EURUSD", "sell", 1000, 1.0),
                                 positionJson(3, "EURUSD", "Sell", 1000, 1.0),
                                 positionJson(1, "EURUSD", "buy", 1000, 1.0),
                                 positionJson(5, "GBPUSD", "sell", 1000, 1.0) });
        QCOMPARE(tickets(store.oppositePositions(ticket)), expected);
    }

    void loadsReplaceEverything()
    {
        PositionDataStore store;
        Recorder recorder(store);
        store.setOpenPositions({ positionJson(9, "EURUSD", "buy", 1000, 1.0),
                                 positionJson(3, "EURUSD", "buy", 1000, 1.0),
                                 positionJson(9, "EURUSD", "sell", 4000, 1.5) });
        QCOMPARE(tickets(store.openPositions()), (QList<qint64>{ 3, 9 }));
        QCOMPARE(store.position(9).type, QString("sell"));
        QCOMPARE(store.position(9).volume, 0.4);

        // An element that is no object still becomes a (default) row under ticket 0.
        store.setOpenPositions({ 17, positionJson(4, "GBPUSD", "buy", 1000, 1.0) });
        QCOMPARE(tickets(store.openPositions()), (QList<qint64>{ 0, 4 }));
        store.setOpenPositions({});
        QVERIFY(store.openPositions().isEmpty());

        store.setPendingOrders({ orderJson(8, 4), orderJson(6, 2), orderJson(8, 7) });
        const QList<PendingOrder> orders = store.pendingOrders();
        QCOMPARE(orders.size(), 2);
        QCOMPARE(orders.at(0).ticket, qint64(6));
        QCOMPARE(orders.at(1).type, 7);
        store.setPendingOrders({});
        QVERIFY(store.pendingOrders().isEmpty());
        QCOMPARE(recorder.events, (QStringList{ "open", "open", "open", "open", "open" }));

        // A load after ticks emits no profit figures; a tick of the dropped symbol moves nothing.
        QSignalSpy changed(&store, &PositionDataStore::positionProfitChanged);
        store.onPriceChanged(makeTick("EURUSD", 2.0, 2.1));
        QCOMPARE(changed.count(), 0);
    }

    // A receiver that reloads the store in the middle of a tick must not pull positions from
    // under the loop (caught by the address sanitizer build).
    void receiverMayReloadDuringTick()
    {
        PositionDataStore store;
        QJsonArray many;
        for (int i = 1; i <= 50; ++i)
            many.append(positionJson(i, "EURUSD", i % 2 ? "buy" : "sell", 1000, 1.0));
        store.setOpenPositions(many);
        int seen = 0;
        connect(&store, &PositionDataStore::positionProfitChanged, this, [&](const Position &p) {
            ++seen;
            QCOMPARE(p.symbol, QString("EURUSD"));
            store.setOpenPositions({ positionJson(100, "GBPUSD", "buy", 1000, 1.0, 3.0) });
        });
        QSignalSpy net(&store, &PositionDataStore::netProfitChanged);
        store.onPriceChanged(makeTick("EURUSD", 1.1, 1.2));
        QCOMPARE(seen, 1);
        QCOMPARE(net.count(), 1);
        QCOMPARE(net.first().first().toDouble(), 3.0);
        QCOMPARE(tickets(store.openPositions()), QList<qint64>{ 100 });
    }
};

CORVANE_TEST_MAIN(TestPositionStore)
#include "tst_positionstore.moc"
