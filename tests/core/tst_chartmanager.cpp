#include "chartcache.h"
#include "chartmanager.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <memory>

Q_DECLARE_METATYPE(CandleStick)

static bool operator==(const CandleStick &a, const CandleStick &b)
{
    return a.timestamp == b.timestamp && a.open == b.open && a.high == b.high && a.low == b.low
        && a.close == b.close;
}

char *toString(const CandleStick &c)
{
    return QTest::toString(QStringLiteral("{%1 %2 %3 %4 %5}")
                               .arg(c.timestamp).arg(c.open).arg(c.high).arg(c.low).arg(c.close));
}

namespace {

using Candles = QList<CandleStick>;

CandleStick bar(qint64 time, double base = 1.0)
{
    return {time, base, base + 0.5, base - 0.5, base + 0.25};
}

Candles bars(qint64 first, qint64 last, qint64 step, double base = 1.0)
{
    Candles candles;
    for (qint64 t = first; t <= last; t += step)
        candles.append(bar(t, base));
    return candles;
}

QJsonObject barJson(const CandleStick &c)
{
    return {{"datetime", c.timestamp}, {"open", c.open}, {"high", c.high}, {"low", c.low},
            {"close", c.close}};
}

QJsonObject reply(const QString &symbol, int interval, const Candles &candles)
{
    QJsonArray array;
    for (const CandleStick &c : candles)
        array.append(barJson(c));
    return {{"res_code", 3}, {"symbol", symbol}, {"interval", interval}, {"array", array}};
}

QString cachePath(const QString &server, qint64 account, const QString &symbol, int period)
{
    return QStringLiteral("config/%1/%2/ChartHistory/%3_%4")
        .arg(server, QString::number(account), symbol, QString::number(period));
}

// Written as a default QDataStream writes, independent of the code under test.
void writeCacheFile(const QString &path, const Candles &candles)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QDataStream out(&file);
    for (const CandleStick &c : candles)
        out << qint64(c.timestamp) << c.open << c.high << c.low << c.close;
}

void writeCache(const QString &server, qint64 account, const QString &symbol, int period,
                const Candles &candles)
{
    writeCacheFile(cachePath(server, account, symbol, period), candles);
}

Candles readCache(const QString &server, qint64 account, const QString &symbol, int period)
{
    return ChartCache::readCandleFile(cachePath(server, account, symbol, period)).values();
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

Candles withoutNewest(Candles candles)
{
    if (!candles.isEmpty())
        candles.removeLast();
    return candles;
}

} // namespace

class TestChartManager : public QObject
{
    Q_OBJECT

    // Lets the loader finish and every cache write asked for so far reach the disk.
    static void settle(ChartManager &keeper)
    {
        QTRY_VERIFY(!keeper.loading);
        keeper.workers.waitForDone();
    }

private slots:
    void cleanup() { QDir(QStringLiteral("config")).removeRecursively(); }

    void unknownSeriesIsEmpty()
    {
        ChartManager keeper(nullptr);
        QVERIFY(keeper.getChartHistory(QStringLiteral("EURUSD"), 60).isEmpty());
        keeper.appendCandleStick(QStringLiteral("EURUSD"), 60, 100, 1, 2, 0.5, 1.5);
        QVERIFY(keeper.getChartHistory(QStringLiteral("EURUSD"), 5).isEmpty());
        QVERIFY(keeper.getChartHistory(QStringLiteral("GBPUSD"), 60).isEmpty());
        // Without a client a request goes nowhere, and that is not an error.
        keeper.requestChartHistory(QStringLiteral("EURUSD"), 60, 0, -1);
    }

    void replyElements_data()
    {
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<CandleStick>("expected");
        QTest::newRow("numbers") << QByteArray(R"({"datetime":1700000000,"open":1.1,"high":1.2,"low":1.0,"close":1.15})")
                                 << CandleStick{1700000000, 1.1, 1.2, 1.0, 1.15};
        QTest::newRow("time rounded up") << QByteArray(R"({"datetime":99.5})") << CandleStick{100, 0, 0, 0, 0};
        QTest::newRow("time rounded down") << QByteArray(R"({"datetime":99.4})") << CandleStick{99, 0, 0, 0, 0};
        QTest::newRow("negative time") << QByteArray(R"({"datetime":-7.6})") << CandleStick{-8, 0, 0, 0, 0};
        QTest::newRow("time as text") << QByteArray(R"({"datetime":"1700000060"})") << CandleStick{1700000060, 0, 0, 0, 0};
        QTest::newRow("time as other text") << QByteArray(R"({"datetime":"12:00"})") << CandleStick{};
        QTest::newRow("time true") << QByteArray(R"({"datetime":true})") << CandleStick{1, 0, 0, 0, 0};
        QTest::newRow("time false") << QByteArray(R"({"datetime":false})") << CandleStick{};
        QTest::newRow("time beyond 64 bits") << QByteArray(R"({"datetime":1e300})") << CandleStick{};
        QTest::newRow("time null") << QByteArray(R"({"datetime":null,"close":2})") << CandleStick{0, 0, 0, 0, 2};
        QTest::newRow("prices as text") << QByteArray(R"({"datetime":60,"open":"1.1","high":[1],"low":{},"close":true})")
                                        << CandleStick{60, 0, 0, 0, 0};
        QTest::newRow("not an object") << QByteArray("[5]") << CandleStick{};
    }
    void replyElements()
    {
        QFETCH(QByteArray, element);
        QFETCH(CandleStick, expected);
        const QJsonValue value = QJsonDocument::fromJson("[" + element + "]").array().at(0);
        QCOMPARE(ChartManager::candleFromJson(value), expected);

        ChartManager keeper(nullptr);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.updateChartHistoryFromServer(
            {{"symbol", "EURUSD"}, {"interval", 60}, {"array", QJsonArray{value}}});
        QCOMPARE(keeper.getChartHistory(QStringLiteral("EURUSD"), 60), Candles{expected});
        QCOMPARE(ready.count(), 1);
    }

    void ignoredReplies_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray bar = R"([{"datetime":60,"open":1}])";
        QTest::newRow("empty array") << QByteArray(R"({"symbol":"EURUSD","interval":60,"array":[]})");
        QTest::newRow("no array") << QByteArray(R"({"symbol":"EURUSD","interval":60})");
        QTest::newRow("array not an array") << QByteArray(R"({"symbol":"EURUSD","interval":60,"array":{"a":1}})");
        QTest::newRow("no symbol") << QByteArray(R"({"interval":60,"array":)" + bar + "}");
        QTest::newRow("symbol not text") << QByteArray(R"({"symbol":5,"interval":60,"array":)" + bar + "}");
        QTest::newRow("interval 0") << QByteArray(R"({"symbol":"EURUSD","interval":0,"array":)" + bar + "}");
        QTest::newRow("negative interval") << QByteArray(R"({"symbol":"EURUSD","interval":-60,"array":)" + bar + "}");
        QTest::newRow("interval as text") << QByteArray(R"({"symbol":"EURUSD","interval":"60","array":)" + bar + "}");
        QTest::newRow("fractional interval") << QByteArray(R"({"symbol":"EURUSD","interval":60.5,"array":)" + bar + "}");
        QTest::newRow("interval beyond 32 bits") << QByteArray(R"({"symbol":"EURUSD","interval":4294967356,"array":)" + bar + "}");
    }
    void ignoredReplies()
    {
        QFETCH(QByteArray, json);
        ChartManager keeper(nullptr);
        keeper.setAccount(7, QStringLiteral("Srv"));
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.updateChartHistoryFromServer(QJsonDocument::fromJson(json).object());
        settle(keeper);
        QCOMPARE(ready.count(), 0);
        QVERIFY(keeper.getChartHistory(QStringLiteral("EURUSD"), 60).isEmpty());
        QVERIFY(filesBelow(QStringLiteral("config")).isEmpty());
    }

    void replyMerges()
    {
        ChartManager keeper(nullptr);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.updateChartHistoryFromServer(reply(QStringLiteral("EURUSD"), 60, bars(60, 300, 60)));
        QCOMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0), (QVariantList{QStringLiteral("EURUSD"), 60}));

        // Out of order, with a time already held, one before and one after the series.
        keeper.updateChartHistoryFromServer(
            reply(QStringLiteral("EURUSD"), 60, {bar(420, 2), bar(180, 2), bar(0, 2)}));
        QCOMPARE(ready.count(), 2);
        QCOMPARE(keeper.getChartHistory(QStringLiteral("EURUSD"), 60),
                 (Candles{bar(0, 2), bar(60), bar(120), bar(180, 2), bar(240), bar(300), bar(420, 2)}));
        QVERIFY(keeper.getChartHistory(QStringLiteral("EURUSD"), 5).isEmpty());

        // Two bars of one time in one reply: the later one stays.
        keeper.updateChartHistoryFromServer(
            reply(QStringLiteral("GBPUSD"), 5, {bar(600, 1), bar(600, 3)}));
        QCOMPARE(keeper.getChartHistory(QStringLiteral("GBPUSD"), 5), Candles{bar(600, 3)});
    }

    void cacheFileFollowsSeries()
    {
        const QString srv = QStringLiteral("Srv");
        const QString eur = QStringLiteral("EURUSD");
        ChartManager keeper(nullptr);
        keeper.setAccount(7, srv);

        keeper.updateChartHistoryFromServer(reply(eur, 60, bars(60, 600, 60)));
        settle(keeper);
        QCOMPARE(readCache(srv, 7, eur, 60), bars(60, 540, 60));

        // Finished live bars are appended at once.
        keeper.appendCandleStick(eur, 60, 660, 2, 3, 1, 2.5);
        QCOMPARE(readCache(srv, 7, eur, 60), bars(60, 540, 60) << CandleStick({660, 2, 3, 1, 2.5}));

        // The newest bar stays out of a rewrite, even one that came from a live bar and was
        // already appended.
        keeper.updateChartHistoryFromServer(reply(eur, 60, {bar(120, 4)}));
        settle(keeper);
        QCOMPARE(readCache(srv, 7, eur, 60), withoutNewest(keeper.getChartHistory(eur, 60)));
        QCOMPARE(readCache(srv, 7, eur, 60).size(), 10);
        QCOMPARE(QFileInfo(cachePath(srv, 7, eur, 60)).size(), 10 * 40);
    }

    // Rewrites of one series land in the order they were asked for, and each goes to the account
    // that was current when it was asked for.
    void rewritesKeepOrderAndAccount()
    {
        const QString eur = QStringLiteral("EURUSD");
        ChartManager keeper(nullptr);
        keeper.setAccount(7, QStringLiteral("Srv"));
        for (int i = 1; i <= 30; ++i) {
            keeper.updateChartHistoryFromServer(reply(eur, 1, bars(60, i * 6000, 60, i)));
            keeper.appendCandleStick(eur, 1, i * 6000 + 60, i, i, i, i);
        }
        const Candles series = keeper.getChartHistory(eur, 1);
        keeper.setAccount(8, QStringLiteral("Srv"));
        keeper.updateChartHistoryFromServer(reply(eur, 1, bars(60, 120, 60)));
        settle(keeper);
        // The last reply rewrote the file without its newest bar then, and the last live bar was
        // appended after it.
        Candles expected = series;
        expected.removeAt(expected.size() - 2);
        QCOMPARE(readCache(QStringLiteral("Srv"), 7, eur, 1), expected);
        QCOMPARE(readCache(QStringLiteral("Srv"), 8, eur, 1), bars(60, 60, 60));
    }

    void percentSignsInNames()
    {
        const QString srv = QStringLiteral("Srv%1");
        const QString symbol = QStringLiteral("EUR%1%2");
        {
            ChartManager keeper(nullptr);
            keeper.setAccount(7, srv);
            keeper.updateChartHistoryFromServer(reply(symbol, 60, bars(60, 600, 60)));
        }
        QCOMPARE(filesBelow(QStringLiteral("config")),
                 QStringList{QStringLiteral("config/Srv%1/7/ChartHistory/EUR%1%2_60")});
        ChartManager keeper(nullptr);
        keeper.setAccount(7, srv);
        settle(keeper);
        QCOMPARE(keeper.getChartHistory(symbol, 60), bars(60, 540, 60));
    }

    void oneBarReplyLeavesFile()
    {
        ChartManager keeper(nullptr);
        keeper.setAccount(7, QStringLiteral("Srv"));
        settle(keeper);
        writeCache(QStringLiteral("Srv"), 7, QStringLiteral("GBPUSD"), 60, bars(60, 180, 60, 9));
        keeper.updateChartHistoryFromServer(reply(QStringLiteral("GBPUSD"), 60, {bar(600)}));
        keeper.updateChartHistoryFromServer(reply(QStringLiteral("USDJPY"), 60, {bar(600)}));
        settle(keeper);
        QCOMPARE(readCache(QStringLiteral("Srv"), 7, QStringLiteral("GBPUSD"), 60), bars(60, 180, 60, 9));
        QVERIFY(!QFile::exists(cachePath(QStringLiteral("Srv"), 7, QStringLiteral("USDJPY"), 60)));
        QVERIFY(QDir(QStringLiteral("config/Srv/7/ChartHistory")).exists());
    }

    void liveBars()
    {
        const QString srv = QStringLiteral("Srv");
        const QString eur = QStringLiteral("EURUSD");
        ChartManager keeper(nullptr);
        keeper.setAccount(7, srv);
        settle(keeper);

        keeper.appendCandleStick(eur, 60, 300, 1, 1, 1, 1); // an empty series takes any bar
        keeper.appendCandleStick(eur, 60, 240, 2, 2, 2, 2); // older: ignored everywhere
        QCOMPARE(keeper.getChartHistory(eur, 60), (Candles{{300, 1, 1, 1, 1}}));
        QCOMPARE(QFileInfo(cachePath(srv, 7, eur, 60)).size(), 40);

        keeper.appendCandleStick(eur, 60, 300, 3, 3, 3, 3); // same time: replaced, appended again
        QCOMPARE(keeper.getChartHistory(eur, 60), (Candles{{300, 3, 3, 3, 3}}));
        QCOMPARE(QFileInfo(cachePath(srv, 7, eur, 60)).size(), 80);
        QCOMPARE(readCache(srv, 7, eur, 60), (Candles{{300, 3, 3, 3, 3}}));

        keeper.appendCandleStick(eur, 60, 360, 4, 4, 4, 4);
        QCOMPARE(readCache(srv, 7, eur, 60), (Candles{{300, 3, 3, 3, 3}, {360, 4, 4, 4, 4}}));

        // A bad period or symbol stays in memory.
        keeper.appendCandleStick(eur, 0, 360, 4, 4, 4, 4);
        keeper.appendCandleStick(QString(), 60, 360, 4, 4, 4, 4);
        QCOMPARE(keeper.getChartHistory(eur, 0).size(), 1);
        QCOMPARE(filesBelow(QStringLiteral("config")).size(), 1);
    }

    void liveBarsBeforeLoginStayInMemory()
    {
        ChartManager keeper(nullptr);
        keeper.appendCandleStick(QStringLiteral("EURUSD"), 60, 300, 1, 1, 1, 1);
        keeper.updateChartHistoryFromServer(reply(QStringLiteral("EURUSD"), 60, bars(0, 240, 60)));
        settle(keeper);
        QCOMPARE(keeper.getChartHistory(QStringLiteral("EURUSD"), 60).size(), 6);
        QVERIFY(!QDir(QStringLiteral("config")).exists());
    }

    void loaderTakesSeriesFiles()
    {
        const QString srv = QStringLiteral("Srv");
        writeCache(srv, 7, QStringLiteral("EURUSD"), 60, bars(60, 600, 60));
        writeCacheFile(QStringLiteral("config/Srv/7/ChartHistory/EURUSD_60_old"), bars(60, 120, 60));
        writeCacheFile(QStringLiteral("config/Srv/7/ChartHistory/EURUSD"), bars(60, 120, 60));
        writeCacheFile(QStringLiteral("config/Srv/7/ChartHistory/EUR_USD_60"), bars(60, 120, 60));
        writeCache(srv, 7, QStringLiteral("USDJPY"), 5, {});
        QVERIFY(QDir().mkpath(QStringLiteral("config/Srv/7/ChartHistory/GBPUSD_60")));

        ChartManager keeper(nullptr);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.setAccount(7, srv);
        QVERIFY(keeper.getChartHistory(QStringLiteral("EURUSD"), 60).isEmpty());
        settle(keeper);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0), (QVariantList{QStringLiteral("EURUSD"), 60}));
        QCOMPARE(keeper.getChartHistory(QStringLiteral("EURUSD"), 60), bars(60, 600, 60));

        // Logging in again to the same account keeps everything and reads nothing.
        keeper.appendCandleStick(QStringLiteral("EURUSD"), 60, 660, 1, 1, 1, 1);
        keeper.setAccount(7, srv);
        QVERIFY(!keeper.loading);
        QCOMPARE(keeper.getChartHistory(QStringLiteral("EURUSD"), 60).size(), 11);
        QCOMPARE(ready.count(), 1);
    }

    void accountSwitch()
    {
        const QString srv = QStringLiteral("Srv");
        for (int i = 0; i < 50; ++i)
            writeCache(srv, 1, QStringLiteral("OLD%1").arg(i), 60, bars(60, 6000, 60));
        writeCache(srv, 2, QStringLiteral("NEW"), 60, bars(60, 600, 60));

        ChartManager keeper(nullptr);
        keeper.setAccount(1, srv);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        QTRY_VERIFY(ready.count() >= 1);
        QVERIFY(!keeper.getChartHistory(ready.at(0).at(0).toString(), 60).isEmpty());

        // The old account's series are gone at once.
        keeper.setAccount(2, srv);
        QVERIFY(keeper.getChartHistory(ready.at(0).at(0).toString(), 60).isEmpty());
        ready.clear();

        // A loader of the old account, slow enough to deliver after the switch, changes nothing.
        keeper.setAccount(1, srv);
        keeper.workers.waitForDone(); // every old series read and on its way
        keeper.setAccount(2, srv);
        settle(keeper);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0), (QVariantList{QStringLiteral("NEW"), 60}));
        for (int i = 0; i < 50; ++i)
            QVERIFY(keeper.getChartHistory(QStringLiteral("OLD%1").arg(i), 60).isEmpty());
        QCOMPARE(keeper.getChartHistory(QStringLiteral("NEW"), 60), bars(60, 600, 60));

        // Another server is another account.
        keeper.setAccount(2, QStringLiteral("Other"));
        settle(keeper);
        QVERIFY(keeper.getChartHistory(QStringLiteral("NEW"), 60).isEmpty());
    }

    void replyDuringLoadingSurvives_data()
    {
        QTest::addColumn<qint64>("cachedUntil");
        QTest::newRow("cache smaller than what came meanwhile") << qint64(6000);
        QTest::newRow("cache larger than what came meanwhile") << qint64(60000);
    }
    void replyDuringLoadingSurvives()
    {
        QFETCH(qint64, cachedUntil);
        const QString srv = QStringLiteral("Srv");
        const QString eur = QStringLiteral("EURUSD");
        writeCache(srv, 7, eur, 60, bars(60, cachedUntil, 60, 1.0));

        ChartManager keeper(nullptr);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.setAccount(7, srv);
        // Before the loader can hand anything over: a reply and a live bar.
        keeper.updateChartHistoryFromServer(reply(eur, 60, bars(3000, 9000, 60, 2.0)));
        keeper.appendCandleStick(eur, 60, 9060, 3, 3.5, 2.5, 3.25);
        QVERIFY(keeper.loading);
        settle(keeper);

        const Candles expected = bars(60, 2940, 60, 1.0) + bars(3000, 9000, 60, 2.0)
            + Candles{{9060, 3, 3.5, 2.5, 3.25}} + bars(9120, cachedUntil, 60, 1.0);
        QCOMPARE(keeper.getChartHistory(eur, 60), expected);
        QCOMPARE(ready.count(), 2);
        // The rewrite waited for the load, so the file lost none of its cached bars.
        QCOMPARE(readCache(srv, 7, eur, 60), withoutNewest(expected));
    }

    void unsafeNamesWriteNothing_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("symbol leaves the folder") << "Srv" << "../x";
        QTest::newRow("symbol with a slash") << "Srv" << "EUR/USD";
        QTest::newRow("symbol is a parent") << "Srv" << "..";
        QTest::newRow("server leaves the folder") << "../x" << "EURUSD";
        QTest::newRow("server is a parent") << ".." << "EURUSD";
        QTest::newRow("server with a slash") << "a/b" << "EURUSD";
        QTest::newRow("no server") << "" << "EURUSD";
    }
    void unsafeNamesWriteNothing()
    {
        QFETCH(QString, server);
        QFETCH(QString, symbol);
        // A cache where the unsafe server name would lead if it were used as a path.
        const QString reached = QDir::cleanPath(
            QStringLiteral("config/%1/7/ChartHistory/EURUSD_60").arg(server));
        if (server != QLatin1String("Srv"))
            writeCacheFile(reached, {bar(30)});
        const QStringList before = filesBelow(QStringLiteral("."));

        ChartManager keeper(nullptr);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.setAccount(7, server);
        keeper.updateChartHistoryFromServer(reply(symbol, 60, bars(60, 600, 60)));
        keeper.appendCandleStick(symbol, 60, 660, 1, 1, 1, 1);
        settle(keeper);

        QCOMPARE(keeper.getChartHistory(symbol, 60).size(), 11);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(filesBelow(QStringLiteral(".")), before);
        QDir(reached.section(QLatin1Char('/'), 0, 0)).removeRecursively();
    }

    void destructionWaitsForWrites()
    {
        for (int i = 0; i < 20; ++i)
            writeCache(QStringLiteral("Srv"), 7, QStringLiteral("S%1").arg(i), 1, bars(60, 60000, 60));
        auto keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setAccount(7, QStringLiteral("Srv"));
        keeper.reset(); // while the loader runs

        keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setAccount(8, QStringLiteral("Srv"));
        QTRY_VERIFY(!keeper->loading);
        keeper->updateChartHistoryFromServer(reply(QStringLiteral("EURUSD"), 1, bars(60, 60000, 60)));
        keeper.reset();
        QCOMPARE(readCache(QStringLiteral("Srv"), 8, QStringLiteral("EURUSD"), 1), bars(60, 59940, 60));
    }

    // The whole road: request over the socket, reply from the server, merged, announced, cached.
    void historyFromTradeServer()
    {
        simbroker::SimTradeServer server;
        server.addAccount(1001, QStringLiteral("pw1001"));
        server.setLoginSnapshot(false);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TradeClient client;
        QSignalSpy logins(&client, &TradeClient::loginSuccess);
        client.connectToServer(server.url().toString(), 1001, QStringLiteral("pw1001"), QStringLiteral("Sim"));
        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 5000);

        ChartManager keeper(&client);
        connect(&client, &TradeClient::chartHistoryReceived, &keeper,
                &ChartManager::updateChartHistoryFromServer);
        keeper.setAccount(1001, QStringLiteral("Sim"));
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        keeper.requestChartHistory(QStringLiteral("EURUSD"), 0, 0, -1);
        keeper.requestChartHistory(QString(), 60, 0, -1);
        keeper.requestChartHistory(QStringLiteral("EURUSD"), 60, -1, -1);
        const qint64 from = QDateTime::currentSecsSinceEpoch() - 100 * 3600;
        keeper.requestChartHistory(QStringLiteral("EURUSD"), 60, from, -1);
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 5000);

        const QList<QJsonObject> requests = server.receivedRequests(3);
        QCOMPARE(requests.size(), 1);
        const QJsonObject request = requests.first();
        QCOMPARE(request.keys(), (QStringList{"from", "interval", "login", "req_code", "symbol", "to"}));
        QCOMPARE(request.value("from").toVariant().toLongLong(), from);
        QCOMPARE(request.value("to").toVariant().toLongLong(), -1);
        QCOMPARE(request.value("symbol").toString(), QStringLiteral("EURUSD"));
        QCOMPARE(request.value("interval").toInt(), 60);
        QCOMPARE(request.value("login").toVariant().toLongLong(), 1001);

        const Candles candles = keeper.getChartHistory(QStringLiteral("EURUSD"), 60);
        QVERIFY(candles.size() >= 90);
        QVERIFY(candles.first().timestamp >= from - 3600);
        for (int i = 1; i < candles.size(); ++i)
            QVERIFY(candles.at(i).timestamp - candles.at(i - 1).timestamp >= 3600);
        QTRY_COMPARE(readCache(QStringLiteral("Sim"), 1001, QStringLiteral("EURUSD"), 60),
                     withoutNewest(candles));
    }

    // Loader, rewrites, appends, replies and account switches all at once: every file stays whole
    // records, and every record holds the prices that belong to its time.
    void stress()
    {
        const QString srv = QStringLiteral("Stress");
        const QStringList symbols{QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")};
        const int periods[] = {1, 60};
        auto priceAt = [](qint64 time) { return double(time % 100000) / 64.0; };
        auto barAt = [&](qint64 time) { return bar(time, priceAt(time)); };
        for (qint64 account : {1, 2})
            for (const QString &symbol : symbols)
                for (int period : periods) {
                    Candles candles;
                    for (qint64 t = 0; t < 2000; ++t)
                        candles.append(barAt(t * period * 60));
                    writeCache(srv, account, symbol, period, candles);
                }

        QRandomGenerator random(4);
        auto keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setAccount(1, srv);
        QElapsedTimer clock;
        clock.start();
        for (int op = 0; op < 3000 && clock.elapsed() < 2000; ++op) {
            const QString symbol = symbols.at(random.bounded(symbols.size()));
            const int period = periods[random.bounded(2)];
            const qint64 step = period * 60;
            const auto held = keeper->history.value(symbol).value(period);
            const qint64 newest = held.isEmpty() ? 1000 * step : held.lastKey();
            const int kind = random.bounded(100);
            if (kind < 45) {
                const qint64 first = newest + step * (random.bounded(40) - 30);
                Candles candles;
                for (int i = 0, n = random.bounded(1, 60); i < n; ++i)
                    candles.append(barAt(first + i * step));
                keeper->updateChartHistoryFromServer(reply(symbol, period, candles));
            } else if (kind < 90) {
                const CandleStick c = barAt(newest + step * random.bounded(2));
                keeper->appendCandleStick(symbol, period, c.timestamp, c.open, c.high, c.low, c.close);
            } else if (kind < 93) {
                keeper->setAccount(random.bounded(1, 3), srv);
            } else {
                QCoreApplication::processEvents();
            }
        }
        QTRY_VERIFY(!keeper->loading);
        keeper.reset();

        auto consistent = [&](const Candles &candles) {
            for (const CandleStick &c : candles) {
                if (!(c == barAt(c.timestamp)))
                    return false;
            }
            return true;
        };
        for (const QString &path : filesBelow(QStringLiteral("config"))) {
            QVERIFY2(QFileInfo(path).size() % 40 == 0, qPrintable(path));
            QVERIFY2(consistent(ChartCache::readCandleFile(path).values()), qPrintable(path));
        }
        keeper = std::make_unique<ChartManager>(nullptr);
        for (qint64 account : {1, 2}) {
            keeper->setAccount(account, srv);
            settle(*keeper);
            for (const QString &symbol : symbols)
                for (int period : periods) {
                    const Candles candles = keeper->getChartHistory(symbol, period);
                    QVERIFY(candles.size() >= 1999);
                    QVERIFY(consistent(candles));
                }
        }
    }
};

CORVANE_TEST_MAIN(TestChartManager)
#include "tst_chartmanager.moc"
