#include "symboldatastorage.h"
#include "testmain.h"

#include <QJsonArray>
#include <QSignalSpy>

namespace {

QJsonObject symbolReply(const QJsonArray &array)
{
    return { { "res_code", 8 }, { "array", array } };
}

QJsonArray elementsNamed(const QStringList &names)
{
    QJsonArray array;
    for (const QString &name : names)
        array.append(QJsonObject{ { "symbol", name }, { "digits", 5 }, { "path", "Forex\\Majors" } });
    return array;
}

QJsonObject price(const QString &symbol, double bid, double ask, int digits, qint64 timestamp = 0)
{
    return { { "res_code", 2 }, { "symbol", symbol }, { "bid", bid }, { "ask", ask },
             { "digits", digits }, { "timestamp", timestamp } };
}

// Records the store's list and specification signals in the order they came.
struct Recorder
{
    explicit Recorder(SymbolDataStorage &store)
    {
        QObject::connect(&store, &SymbolDataStorage::symbolListChanged, &store,
                         [this](const QStringList &list) { events << "list:" + list.join(','); });
        QObject::connect(&store, &SymbolDataStorage::symbolSettingChanged, &store,
                         [this] { events << "settings"; });
    }
    QStringList events;
};

} // namespace

class TestSymbolStore : public QObject
{
    Q_OBJECT

private slots:
    void firstListPutsMajorsFirst_data()
    {
        QTest::addColumn<QJsonArray>("array");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("reply order kept within each group")
            << elementsNamed({ "AUDUSD", "GBPUSD", "EURUSD", "USDJPY", "EURUSD.m" })
            << QStringList{ "GBPUSD", "EURUSD", "EURUSD.m", "AUDUSD", "USDJPY" };
        QTest::newRow("case ignored") << elementsNamed({ "audusd", "eurusd", "xGbPuSdx" })
                                      << QStringList{ "eurusd", "xGbPuSdx", "audusd" };
        QTest::newRow("repeated major listed again among the others")
            << elementsNamed({ "EURUSD", "AUDUSD", "EURUSD" })
            << QStringList{ "EURUSD", "AUDUSD", "EURUSD" };
        QTest::newRow("repeated other listed twice") << elementsNamed({ "XAUUSD", "XAUUSD" })
                                                     << QStringList{ "XAUUSD", "XAUUSD" };
        QJsonArray odd = elementsNamed({ "GBPUSD" });
        odd.prepend(QJsonObject{ { "desc", "no name" } });
        odd.prepend(5);
        odd.append(QJsonObject{ { "symbol", 7 } });
        QTest::newRow("nameless elements skipped") << odd << QStringList{ "GBPUSD" };
        QTest::newRow("empty array") << QJsonArray() << QStringList();
    }
    void firstListPutsMajorsFirst()
    {
        QFETCH(QJsonArray, array);
        QFETCH(QStringList, expected);
        SymbolDataStorage store;
        Recorder recorder(store);
        store.onSymbolListReceived(symbolReply(array));
        QCOMPARE(store.symbolList(), expected);
        QCOMPARE(recorder.events, (QStringList{ "list:" + expected.join(','), "settings" }));
    }

    void laterRecordOfRepeatedNameWins()
    {
        SymbolDataStorage store;
        QJsonArray array = elementsNamed({ "EURUSD" });
        array.append(QJsonObject{ { "symbol", "EURUSD" }, { "digits", 3 }, { "desc", "Euro" } });
        store.onSymbolListReceived(symbolReply(array));
        QCOMPARE(store.symbolSetting("EURUSD").digits, 3);
        QCOMPARE(store.symbolSetting("EURUSD").desc, QString("Euro"));
        QCOMPARE(store.allSymbols(), QStringList{ "EURUSD" });
    }

    void restoredListSurvivesReply()
    {
        SymbolDataStorage store;
        Recorder recorder(store);
        store.setSymbols({ "EURUSD", "XAUUSD" }, false);
        QVERIFY(recorder.events.isEmpty());

        store.onSymbolListReceived(symbolReply(elementsNamed({ "EURUSD", "GBPUSD" })));
        QCOMPARE(store.symbolList(), (QStringList{ "EURUSD", "XAUUSD" }));
        QCOMPARE(store.allSymbols(), (QStringList{ "EURUSD", "GBPUSD" }));
        QCOMPARE(recorder.events, (QStringList{ "list:EURUSD,XAUUSD", "settings" }));

        // A later reply refreshes specifications and keeps ones it no longer names.
        store.onSymbolListReceived(symbolReply(QJsonArray{ QJsonObject{ { "symbol", "USDJPY" }, { "digits", 3 } } }));
        QCOMPARE(store.symbolList(), (QStringList{ "EURUSD", "XAUUSD" }));
        QCOMPARE(store.allSymbols(), (QStringList{ "EURUSD", "GBPUSD", "USDJPY" }));
        QCOMPARE(store.symbolDigits("USDJPY"), 3);
    }

    void replyWithoutArrayStillAnnounces()
    {
        SymbolDataStorage store;
        store.setSymbols({ "EURUSD" }, false);
        Recorder recorder(store);
        store.onSymbolListReceived({ { "res_code", 8 }, { "array", "not an array" } });
        QCOMPARE(store.symbolList(), QStringList{ "EURUSD" });
        QVERIFY(store.allSymbols().isEmpty());
        QCOMPARE(recorder.events, (QStringList{ "list:EURUSD", "settings" }));
    }

    void repeatedQuoteIsDropped_data()
    {
        QTest::addColumn<QJsonObject>("next");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("same prices, later time") << price("EURUSD", 1.1, 1.2, 5, 2000) << false;
        QJsonObject otherLimits = price("EURUSD", 1.1, 1.2, 5, 1000);
        otherLimits.insert("min_vol", 500);
        otherLimits.insert("bid_high", 1.3);
        QTest::newRow("same prices, other limits") << otherLimits << false;
        QTest::newRow("bid moved") << price("EURUSD", 1.10001, 1.2, 5, 2000) << true;
        QTest::newRow("ask moved") << price("EURUSD", 1.1, 1.19999, 5, 2000) << true;
        QTest::newRow("digits changed") << price("EURUSD", 1.1, 1.2, 4, 2000) << true;
        QTest::newRow("other symbol") << price("GBPUSD", 1.1, 1.2, 5, 2000) << true;
        QTest::newRow("no symbol") << price("", 1.3, 1.4, 5, 2000) << false;
    }
    void repeatedQuoteIsDropped()
    {
        QFETCH(QJsonObject, next);
        QFETCH(bool, accepted);
        SymbolDataStorage store;
        QSignalSpy spy(&store, &SymbolDataStorage::tickChanged);
        store.onPriceReceived(price("EURUSD", 1.1, 1.2, 5, 1000));
        QCOMPARE(spy.count(), 1);

        store.onPriceReceived(next);
        QCOMPARE(spy.count(), accepted ? 2 : 1);
        const TickData expected = SymbolDataStorage::tickFromJson(accepted ? next : price("EURUSD", 1.1, 1.2, 5, 1000));
        const TickData stored = store.tick(expected.symbol);
        QCOMPARE(stored.timestamp, expected.timestamp);
        QCOMPARE(stored.bid, expected.bid);
        QCOMPARE(stored.digits, expected.digits);
        if (accepted)
            QCOMPARE(spy.last().first().value<TickData>().bid, expected.bid);
    }

    void quoteOfUnlistedSymbolIsKept()
    {
        SymbolDataStorage store;
        Recorder recorder(store);
        QSignalSpy spy(&store, &SymbolDataStorage::tickChanged);
        store.onPriceReceived(price("XAGUSD", 25.1, 25.2, 3));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(store.tick("XAGUSD").ask, 25.2);
        QVERIFY(store.symbolList().isEmpty());
        QVERIFY(store.allSymbols().isEmpty());
        QVERIFY(recorder.events.isEmpty());
    }

    void lookupsOfUnknownSymbols()
    {
        SymbolDataStorage store;
        const TickData none = store.tick("NZDUSD");
        QVERIFY(none.symbol.isEmpty());
        QCOMPARE(none.bid, 0.0);
        QVERIFY(store.allSymbols().isEmpty());

        QCOMPARE(store.symbolDigits("NZDUSD"), 0);
        QCOMPARE(store.allSymbols(), QStringList{ "NZDUSD" });
        const SymbolSetting made = store.symbolSetting("CADJPY");
        QCOMPARE(made.min_vol, qint64(100));
        QCOMPARE(made.max_vol, qint64(100000));
        QCOMPARE(made.step_vol, qint64(100));
        QCOMPARE(made.c_size, 100000.0);
        QCOMPARE(store.allSymbols(), (QStringList{ "CADJPY", "NZDUSD" }));
    }

    void showAndHide_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<bool>("show");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("announced");
        const QStringList list{ "EURUSD", "GBPUSD", "EURUSD" };
        QTest::newRow("hide removes first entry only")
            << list << "EURUSD" << false << QStringList{ "GBPUSD", "EURUSD" } << true;
        QTest::newRow("hide unlisted") << list << "USDJPY" << false << list << false;
        QTest::newRow("show appends") << list << "USDJPY" << true
                                      << QStringList{ "EURUSD", "GBPUSD", "EURUSD", "USDJPY" } << true;
        QTest::newRow("show listed") << list << "GBPUSD" << true << list << false;
        QTest::newRow("case-sensitive") << list << "gbpusd" << false << list << false;
    }
    void showAndHide()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, symbol);
        QFETCH(bool, show);
        QFETCH(QStringList, after);
        QFETCH(bool, announced);
        SymbolDataStorage store;
        store.setSymbols(before, false);
        Recorder recorder(store);
        store.setSymbolVisible(symbol, show);
        QCOMPARE(store.symbolList(), after);
        QCOMPARE(recorder.events, announced ? QStringList{ "list:" + after.join(',') } : QStringList());
    }

    void settingTheSameListAnnouncesIt()
    {
        SymbolDataStorage store;
        store.setSymbolList({ "EURUSD", "GBPUSD" }, false);
        Recorder recorder(store);
        store.setSymbolList({ "EURUSD", "GBPUSD" }, true);
        store.setSymbols({ "GBPUSD" }, true);
        QCOMPARE(recorder.events, (QStringList{ "list:EURUSD,GBPUSD", "list:GBPUSD" }));
    }

    void clearForgetsEverythingSilently()
    {
        SymbolDataStorage store;
        store.onSymbolListReceived(symbolReply(elementsNamed({ "AUDUSD" })));
        store.onPriceReceived(price("AUDUSD", 0.65, 0.66, 5));
        Recorder recorder(store);
        QSignalSpy ticks(&store, &SymbolDataStorage::tickChanged);
        store.clear();
        QVERIFY(recorder.events.isEmpty());
        QVERIFY(store.symbolList().isEmpty());
        QVERIFY(store.allSymbols().isEmpty());
        QVERIFY(store.tick("AUDUSD").symbol.isEmpty());

        // The same quote again is new after a clear, and an empty list takes the first-list path.
        store.onPriceReceived(price("AUDUSD", 0.65, 0.66, 5));
        QCOMPARE(ticks.count(), 1);
        store.onSymbolListReceived(symbolReply(elementsNamed({ "AUDUSD", "GBPUSD" })));
        QCOMPARE(store.symbolList(), (QStringList{ "GBPUSD", "AUDUSD" }));
    }
};

CORVANE_TEST_MAIN(TestSymbolStore)
#include "tst_symbolstore.moc"
