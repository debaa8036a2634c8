// A tick storm through the live tables: market watch, trade table, net-trade table and account
// summary, fed the way the window feeds them, against the core stores alone in the same run.
//
//   storm:        500 listed symbols, 200 open positions over 20 of them; the simulated trade
//                 server (its own thread) sends quotes over loopback to a trade client, whose
//                 thread hands them queued to the GUI thread. Figures: accepted ticks per second
//                 the GUI thread works off, and the largest backlog of queued price signals,
//                 through the table pieces, through the whole main window, and with the core
//                 stores alone.
//   tickCost:     one accepted tick through the whole chain with 50 and with 2,000 rows in the
//                 market watch and in the trade table.
//   symbolFlood:  the whole window logged in to the flood server, which for 4 s sends as fast as
//                 the connection takes them prices each naming a new symbol (of 16 KiB names
//                 too), symbol lists each naming 200 new symbols, or chart-history replies
//                 nobody asked for, each of a new series; or 240 symbol lists of 200 new names
//                 with 16 KiB descriptions; or one list of 50,000 names with names and texts at
//                 the longest the window keeps, then two prices of each; then a login reply. Figures: the peak resident
//                 memory during the flood against the resident memory before it, and the delay
//                 until the server has the window's answer to that login reply (its trade-history
//                 request) against the same delay with no flood before it; after the chart flood,
//                 the files and bytes in the account's chart cache. Each window works in a
//                 folder of its own, so no flood's cache is another's.
#include "accountsummary.h"
#include "client_terminal.h"
#include "hostilepeers.h"
#include "marketwatch.h"
#include "positiondatastore.h"
#include "residentmemory.h"
#include "symboldatastorage.h"
#include "simtradeserver.h"
#include "tradeclient.h"
#include "tradetable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QTableWidget>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <malloc.h>
#include <memory>

namespace {

QString symbolName(int i)
{
    return QStringLiteral("SYM%1").arg(i, 4, 10, QLatin1Char('0'));
}

QJsonObject priceReply(const QString &symbol, int step)
{
    // Every step moves the bid and the ask, so the stores accept every reply.
    const double bid = 1.0 + (step % 997) * 0.00001;
    return QJsonObject{{"res_code", 2}, {"symbol", symbol},   {"bid", bid},        {"ask", bid + 0.00012},
                       {"digits", 5},   {"ask_high", 1.2},    {"ask_low", 0.9},    {"bid_high", 1.19},
                       {"bid_low", 0.89}, {"timestamp", 1700000000 + step}};
}

// The stores and, optionally, the tables, wired as the main window wires them.
class Rig
{
public:
    // walkRows adds, for reference, the walk over every row that a table without an index makes
    // per quote (compare each symbol text) and per position tick (parse each ticket text).
    explicit Rig(bool withTables, bool walkRows = false)
        : symbols(0, MarketWatch::ColumnCount), trades(0, TradeTable::ColumnCount),
          net(0, NetTradeTable::ColumnCount), watch(&symbols), tradeTable(&trades),
          netTable(&net, QFont()), tables(withTables), walk(walkRows)
    {
        QObject::connect(&symbolStore, &SymbolDataStorage::tickChanged, &host, [this](const TickData &tick) {
            if (walk) {
                for (int row = 0; row < symbols.rowCount(); ++row) {
                    if (symbols.item(row, 0)->text() == tick.symbol)
                        break;
                }
            }
            if (tables)
                watch.updateRow(tick);
            positionStore.onPriceChanged(tick);
            ++accepted;
        });
        if (!tables)
            return;
        QObject::connect(&symbolStore, &SymbolDataStorage::symbolListChanged, &host, [this](const QStringList &list) {
            if (watch.setSymbols(list))
                watch.rebuild(symbolStore);
        });
        QObject::connect(&positionStore, &PositionDataStore::openPositionChanged, &host, [this] {
            QMap<QString, QList<Position>> bySymbol;
            const double total = tradeTable.rebuild(positionStore.openPositions(), positionStore.pendingOrders(), &bySymbol);
            netTable.rebuild(bySymbol, total);
        });
        QObject::connect(&positionStore, &PositionDataStore::positionProfitChanged, &host,
                         [this](const Position &p) {
                             if (walk) {
                                 int found = 0;
                                 for (int row = 0; row < trades.rowCount(); ++row)
                                     found += trades.item(row, 1)->text().toLongLong() == p.ticket;
                                 walked += found;
                             }
                             tradeTable.updatePosition(p);
                         });
        QObject::connect(&positionStore, &PositionDataStore::symbolNetProfitChanged, &host,
                         [this](const QString &symbol, int count, double bv, double bp, double sv, double sp, double np) {
                             netTable.updateSymbol(symbol, symbolStore.symbolDigits(symbol), count, bv, bp, sv, sp, np);
                         });
        QObject::connect(&positionStore, &PositionDataStore::netProfitChanged, &host,
                         [this](double profit) { summary.setText(accountSummaryText(figures, profit)); });
        auto *layout = new QHBoxLayout(&host);
        // A summary text of another length must not resize the window (the offscreen platform
        // warns about every size constraint it cannot pass on).
        layout->setSizeConstraint(QLayout::SetNoConstraint);
        layout->addWidget(&symbols);
        layout->addWidget(&trades);
        layout->addWidget(&net);
        layout->addWidget(&summary);
        host.resize(1600, 600);
        host.show();
    }

    // `listed` symbols in the market watch; `positions` open positions, `onFirst` of them on
    // the first symbol and the rest spread over the next `spread` symbols.
    void load(int listed, int positions, int onFirst, int spread)
    {
        QJsonArray specs;
        for (int i = 0; i < listed; ++i)
            specs.append(QJsonObject{{"symbol", symbolName(i)}, {"digits", 5}});
        symbolStore.onSymbolListReceived(QJsonObject{{"res_code", 8}, {"array", specs}});

        QJsonArray open;
        for (int i = 0; i < positions; ++i) {
            const int symbol = i < onFirst ? 0 : 1 + (i - onFirst) % spread;
            open.append(QJsonObject{{"ticket", 1000 + i}, {"symbol", symbolName(symbol)},
                                    {"type", i % 3 ? "buy" : "sell"}, {"volume", 1000 + i},
                                    {"price", 1.0}, {"csize", 100000.0}, {"r_profit", 1.0}, {"digits", 5}});
        }
        positionStore.setOpenPositions(open);
    }

    QWidget host;
    QTableWidget symbols;
    QTableWidget trades;
    QTableWidget net;
    QLabel summary;
    SymbolDataStorage symbolStore;
    PositionDataStore positionStore;
    MarketWatch watch;
    TradeTable tradeTable;
    NetTradeTable netTable;
    AccountFigures figures;
    bool tables;
    bool walk;
    qint64 accepted = 0;
    qint64 walked = 0;
};

// The simulated trade server in a thread of its own, so that neither the client thread nor the
// GUI thread pays for producing the storm.
class ServerThread
{
public:
    ServerThread()
    {
        context.moveToThread(&thread);
        thread.start();
        run([this] {
            server = new simbroker::SimTradeServer;
            server->setLoginSnapshot(false);
            listening = server->listen(QHostAddress::LocalHost, 0);
            server->addAccount(Account, QStringLiteral("pw"), 100000.0);
            url = server->url().toString();
        });
    }
    ~ServerThread()
    {
        run([this] { delete server; });
        thread.quit();
        thread.wait();
    }
    template<typename F>
    void run(F f)
    {
        QMetaObject::invokeMethod(&context, f, Qt::BlockingQueuedConnection);
    }
    // Sends the frames from the server's thread, in bursts, without blocking the caller.
    void send(const QStringList &frames)
    {
        QMetaObject::invokeMethod(&context, [this, frames] {
            for (const QString &frame : frames)
                server->sendText(frame);
        });
    }

    static constexpr qint64 Account = 5550001;
    QThread thread;
    QObject context;
    simbroker::SimTradeServer *server = nullptr;
    bool listening = false;
    QString url;
};

// The main window on `client`, shown at a trader's size.
std::unique_ptr<Client_Terminal> wholeWindow(TradeClient &client)
{
    Client_Terminal::setBrokerListHost(QStringLiteral("127.0.0.1"));
    auto window = std::make_unique<Client_Terminal>(&client);
    window->resize(1600, 900);
    window->show();
    return window;
}

struct StormResult
{
    double seconds = 0.0;
    qint64 handled = 0;
    qint64 accepted = 0;
    qint64 maxBacklog = 0;
    qint64 sent = 0;
    bool completed = false; // the storm's last quote was handled
    // Quotes worked off per second, those replaced by a newer one of their symbol included.
    double perSecond() const { return seconds > 0 ? sent / seconds : 0.0; }
};

// Logs a client in over loopback, loads 500 symbols and 200 positions over 20 of them, then
// sends `count` quotes, each of which moves its symbol's price, in bursts of `burst` every
// `pauseMs` (0: all at once). Counts the price replies the client thread emitted and those the
// GUI thread has handled; the difference is the backlog of queued signals. A quote that a newer
// one of its symbol replaced while waiting is never handled, so the storm ends when its last
// quote has been.
enum class Feed { Stores, Tables, Window };

StormResult loopbackStorm(Feed feed, int count, int burst, int pauseMs)
{
    ServerThread server;
    if (!server.listening)
        qFatal("the simulated server cannot listen");
    TradeClient client;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<Client_Terminal> window;
    SymbolDataStorage *symbolStore = nullptr;
    PositionDataStore *positionStore = nullptr;
    QTableWidget *marketWatch = nullptr;
    QObject *gui = nullptr;
    if (feed == Feed::Window) {
        window = wholeWindow(client);
        symbolStore = window->symbolStorage();
        positionStore = window->positionStorage();
        marketWatch = window->findChild<QTableWidget *>(QStringLiteral("symbolTableWidget"));
        gui = window.get();
    } else {
        rig = std::make_unique<Rig>(feed == Feed::Tables);
        symbolStore = &rig->symbolStore;
        positionStore = &rig->positionStore;
        marketWatch = feed == Feed::Tables ? &rig->symbols : nullptr;
        gui = &rig->host;
        QObject::connect(&client, &TradeClient::symbolListReceived, symbolStore, &SymbolDataStorage::onSymbolListReceived);
        QObject::connect(&client, &TradeClient::openPositionsReceived, gui, [positionStore](const QJsonObject &reply) {
            positionStore->setOpenPositions(reply.value(QLatin1String("array")).toArray());
        });
        QObject::connect(&client, &TradeClient::symbolPriceReceived, symbolStore, &SymbolDataStorage::onPriceReceived);
    }

    std::atomic<qint64> emitted{0};
    QObject::connect(&client, &TradeClient::symbolPriceReceived, [&emitted] { emitted.fetch_add(1, std::memory_order_relaxed); });
    StormResult result;
    QObject::connect(&client, &TradeClient::symbolPriceReceived, gui, [&] {
        ++result.handled;
        result.maxBacklog = qMax(result.maxBacklog, emitted.load(std::memory_order_relaxed) - result.handled);
    });
    qint64 accepted = 0;
    QObject::connect(symbolStore, &SymbolDataStorage::tickChanged, gui, [&accepted] { ++accepted; });
    const QString lastSymbol = symbolName((count - 1) % 500);
    const int lastTimestamp = 1700000000 + (count - 1) / 500 + 1;
    bool lastHandled = false;
    QObject::connect(&client, &TradeClient::symbolPriceReceived, gui, [&](const QJsonObject &price) {
        lastHandled = lastHandled || (price.value(QLatin1String("symbol")).toString() == lastSymbol
                                      && price.value(QLatin1String("timestamp")).toInt() == lastTimestamp);
    });

    QSignalSpy loggedIn(&client, &TradeClient::loginSuccess);
    client.connectToServer(server.url, ServerThread::Account, QStringLiteral("pw"), QStringLiteral("Bench"));
    if (!loggedIn.wait(10000))
        qFatal("no login");

    QJsonArray specs;
    for (int i = 0; i < 500; ++i)
        specs.append(QJsonObject{{"symbol", symbolName(i)}, {"digits", 5}, {"c_size", 100000.0}});
    QJsonArray open;
    for (int i = 0; i < 200; ++i)
        open.append(QJsonObject{{"ticket", 1000 + i}, {"symbol", symbolName(i % 20)}, {"type", i % 3 ? "buy" : "sell"},
                                {"volume", 1000 + i}, {"price", 1.0}, {"csize", 100000.0}, {"r_profit", 1.0},
                                {"digits", 5}});
    server.run([&] {
        server.server->sendJson({{"res_code", 8}, {"array", specs}});
        server.server->sendJson({{"res_code", 4}, {"balance", 1000.0}, {"is_last", 1}, {"array", open}});
    });
    QElapsedTimer wait;
    wait.start();
    while ((positionStore->openPositions().size() < 200 || (marketWatch && marketWatch->rowCount() < 500))
           && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (marketWatch && marketWatch->rowCount() != 500)
        qFatal("the market watch did not fill");
    accepted = 0;

    QStringList frames;
    for (int i = 0; i < count; ++i)
        frames << QString::fromUtf8(QJsonDocument(priceReply(symbolName(i % 500), i / 500 + 1)).toJson(QJsonDocument::Compact));

    QElapsedTimer clock;
    clock.start();
    for (int sent = 0; sent < count; sent += burst) {
        server.send(frames.mid(sent, burst));
        if (pauseMs > 0) {
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < pauseMs)
                QCoreApplication::processEvents(QEventLoop::AllEvents, pauseMs);
        }
    }
    while (!lastHandled && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.accepted = accepted;
    result.sent = count;
    result.completed = lastHandled;
    client.shutdown();
    return result;
}

void report(const char *name, const StormResult &stores, const StormResult &tables, const StormResult &window)
{
    for (const auto &r : {std::make_pair("core stores alone", &stores), std::make_pair("stores + tables", &tables),
                          std::make_pair("whole window", &window)})
        qInfo("%s, %-18s %8.0f quotes worked off/s, %6lld accepted, largest backlog %6lld", name, r.first,
              r.second->perSecond(), r.second->accepted, r.second->maxBacklog);
    qInfo("%s, ticks/s ratio to the stores alone: tables %.3f, window %.3f", name,
          tables.perSecond() / stores.perSecond(), window.perSecond() / stores.perSecond());
    qInfo("RATIO %s, ticks/s stores + tables / stores alone: %.3f", name, tables.perSecond() / stores.perSecond());
    qInfo("RATIO %s, ticks/s whole window / stores alone: %.3f", name, window.perSecond() / stores.perSecond());
}

struct SymbolFloodResult
{
    qint64 sent = 0;
    qint64 beforeKb = 0;
    qint64 peakKb = 0;
    qint64 afterKb = 0; // once answered, what the window still holds
    double answerMs = -1; // -1: no answer within the wait
    qint64 cacheFiles = 0;
    qint64 cacheBytes = 0;
};

// What a flood sends besides its reply code: see FloodServer::Plan.
struct FloodKind
{
    int resCode = 2;
    int nameLength = 0;
    int descriptionLength = 0;
    int bars = 0;
    qint64 replies = 0; // above 0: this many replies, however long they take, instead of a duration
    // Symbol lists only: once they are in, every listed symbol is priced twice, so each store
    // kept per symbol holds all of them.
    bool pricedAfter = false;
    int listLength = 200;
};

// Waits at most this long after the flood for the answer, and stops waiting once the process
// holds this much: a client that keeps every name may grow past what the machine can spare.
constexpr int AnswerWaitS = 60;
constexpr qint64 MemoryGuardKb = qint64(6) << 20;

// A fresh window logged in to a fresh flood server, then `durationMs` of replies of `kind`
// naming new symbols (0: only the flood's end) and a login reply. See symbolFlood above.
SymbolFloodResult windowSymbolFlood(const FloodKind &kind, int durationMs)
{
    // The window keeps its chart cache in config/<server>/<account> below the current folder.
    QTemporaryDir folder;
    const QString previousFolder = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        qFatal("no working folder of its own");
    const QString cacheFolder = QStringLiteral("config/Bench/%1/ChartHistory").arg(ServerThread::Account);
    SymbolFloodResult result;
    {
        simbroker::FloodServer server;
        if (!server.listen())
            qFatal("the flood server cannot listen");
        TradeClient client;
        const std::unique_ptr<Client_Terminal> window = wholeWindow(client);
        // The window answers each login with a trade-history request.
        const auto answers = [&server] {
            int count = 0;
            for (const auto &frame : server.receivedFrames())
                count += frame.text.contains(QLatin1String(R"("req_code":5)"));
            return count;
        };
        const auto spinUntil = [](const std::function<bool()> &done, qint64 timeoutMs) {
            QElapsedTimer clock;
            clock.start();
            while (!done() && clock.elapsed() < timeoutMs)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            return done();
        };
        client.connectToServer(server.url().toString(), ServerThread::Account, QStringLiteral("pw"), QStringLiteral("Bench"));
        if (!spinUntil([&] { return answers() == 1; }, 10000))
            qFatal("no login");

        simbroker::FloodServer::Report report;
        bool finished = false;
        QObject::connect(&server, &simbroker::FloodServer::floodFinished, &server, [&](const simbroker::FloodServer::Report &r) {
            report = r;
            finished = true;
        });
        simbroker::FloodServer::Plan plan;
        plan.resCode = kind.resCode;
        plan.framesPerSecond = kind.resCode == 8 ? 20000 : 200000; // at most: the connection sets the pace
        plan.durationMs = durationMs;
        plan.replies = durationMs > 0 ? kind.replies : 0;
        plan.symbols = std::numeric_limits<int>::max();
        plan.listLength = kind.listLength;
        plan.noteSymbols = false;
        plan.nameLength = kind.nameLength;
        plan.descriptionLength = kind.descriptionLength;
        plan.bars = kind.bars;
        const QString loginReply = QStringLiteral(R"({"res_code":1,"state":1,"login":%1,"name":"Bench","group":"demo"})").arg(ServerThread::Account);
        const bool pricedAfter = kind.pricedAfter && plan.replies > 0;
        plan.trailer = pricedAfter ? QString() : loginReply;
        // What an earlier flood in this process freed goes back to the system first: the figure
        // before is then what the process holds, not what the allocator kept from the last row.
        malloc_trim(0);
        result.beforeKb = ResidentMemory::kib("VmRSS:");
        if (!ResidentMemory::resetPeak())
            qWarning("cannot reset the peak resident memory");
        server.startFlood(plan);
        qint64 listsSent = 0;
        if (pricedAfter) {
            if (!spinUntil([&] { return finished; }, 600000))
                qFatal("the lists did not end");
            finished = false;
            listsSent = report.prices;
            simbroker::FloodServer::Plan prices;
            prices.replies = 2 * report.prices * plan.listLength;
            for (qint64 i = 0; i < report.prices * plan.listLength; ++i)
                prices.names.append(simbroker::FloodServer::longSymbolName(i, plan.nameLength));
            prices.noteSymbols = false;
            prices.trailer = loginReply;
            server.startFlood(prices);
        }
        qint64 answeredNs = 0;
        // A counted flood takes what it takes; the wait for the answer starts at its end.
        QElapsedTimer sinceEnd;
        spinUntil([&] {
            if (!answeredNs && answers() > 1)
                answeredNs = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
            if (finished && !sinceEnd.isValid())
                sinceEnd.start();
            return (finished && answeredNs) || ResidentMemory::kib("VmRSS:") > MemoryGuardKb
                || (sinceEnd.isValid() && sinceEnd.elapsed() > AnswerWaitS * 1000);
        }, plan.replies > 0 ? 600000 : durationMs + AnswerWaitS * 1000);
        result.peakKb = ResidentMemory::kib("VmHWM:");
        malloc_trim(0);
        result.afterKb = ResidentMemory::kib("VmRSS:");
        result.sent = pricedAfter ? listsSent : report.prices;
        if (finished && answeredNs)
            result.answerMs = double(answeredNs - report.endSentNs) * 1e-6;
        client.shutdown(3000);
    }
    // The window has gone, and with it its chart keeper once its writes were done.
    for (const QFileInfo &file : QDir(folder.filePath(cacheFolder)).entryInfoList(QDir::Files)) {
        ++result.cacheFiles;
        result.cacheBytes += file.size();
    }
    QDir::setCurrent(previousFolder);
    return result;
}

} // namespace

class BenchLiveTables : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
    }

    void storm()
    {
        // Everything at once: the GUI thread's ceiling, and the queue that builds up meanwhile.
        const int count = 40000;
        const StormResult stores = loopbackStorm(Feed::Stores, count, count, 0);
        const StormResult tables = loopbackStorm(Feed::Tables, count, count, 0);
        const StormResult window = loopbackStorm(Feed::Window, count, count, 0);
        report("flood", stores, tables, window);
        QVERIFY(stores.completed && tables.completed && window.completed);

        // A busy steady feed: 500 quotes every 50 ms (10,000 per second, 20 per symbol).
        const int paced = 20000;
        report("paced 10000/s", loopbackStorm(Feed::Stores, paced, 500, 50), loopbackStorm(Feed::Tables, paced, 500, 50),
               loopbackStorm(Feed::Window, paced, 500, 50));
    }

    void symbolFlood_data()
    {
        QTest::addColumn<int>("resCode");
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<int>("descriptionLength");
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("replies");
        QTest::addColumn<bool>("pricedAfter");
        QTest::newRow("prices of new symbols") << 2 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("lists of 200 new symbols") << 8 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("prices of new 16 KiB names") << 2 << 16384 << 0 << 0 << 0 << false;
        QTest::newRow("240 lists of 200 names, 16 KiB descriptions") << 8 << 0 << 16384 << 0 << 240 << false;
        QTest::newRow("unasked chart replies of new series") << 3 << 0 << 0 << 50 << 0 << false;
        // What the window keeps per symbol at its largest: as many symbols as it tracks, each
        // with the longest name and texts it keeps, listed in one list (so all of them are in the
        // market watch) and priced.
        QTest::newRow("a list of 50,000 names at the bounds, then their prices")
            << 8 << TradeClient::MaxSymbolNameChars << TradeClient::MaxSymbolTextChars << 0 << 1 << true;
    }
    void symbolFlood()
    {
        QFETCH(int, resCode);
        QFETCH(int, nameLength);
        QFETCH(int, descriptionLength);
        QFETCH(int, bars);
        QFETCH(int, replies);
        QFETCH(bool, pricedAfter);
        const FloodKind kind{resCode, nameLength, descriptionLength, bars, replies, pricedAfter,
                             pricedAfter ? TradeClient::DefaultSymbolLimit : 200};
        // The flood first, so its memory starts from a process that has not flooded yet; the
        // delay without flood is then a warm process's, not that of its first window.
        const SymbolFloodResult flood = windowSymbolFlood(kind, 4000);
        const SymbolFloodResult idle = windowSymbolFlood(kind, 0);
        const char *name = QTest::currentDataTag();
        if (replies > 0)
            qInfo("%s: %lld of %d replies sent", name, flood.sent, replies);
        else
            qInfo("%s: %lld replies sent in 4 s", name, flood.sent);
        if (bars > 0)
            qInfo("%s: chart cache after the flood: %lld files, %.1f MB", name, flood.cacheFiles,
                  flood.cacheBytes / 1048576.0);
        qInfo("RATIO %s, peak resident / resident before: %.2f (%.0f MB against %.0f MB)", name,
              double(flood.peakKb) / flood.beforeKb, flood.peakKb / 1024.0, flood.beforeKb / 1024.0);
        qInfo("RATIO %s, resident after / resident before: %.2f (%.0f MB)", name,
              double(flood.afterKb) / flood.beforeKb, flood.afterKb / 1024.0);
        if (flood.answerMs < 0)
            qInfo("RATIO %s, answer delay: did not answer within %d s (memory reached %.0f MB)", name, AnswerWaitS,
                  flood.peakKb / 1024.0);
        else
            qInfo("RATIO %s, answer delay / delay without flood: %.1f (%.1f ms against %.1f ms)", name,
                  flood.answerMs / idle.answerMs, flood.answerMs, idle.answerMs);
        QVERIFY(idle.answerMs >= 0);
    }

    void tickCost_data()
    {
        QTest::addColumn<bool>("tables");
        QTest::addColumn<bool>("walk");
        QTest::addColumn<int>("rows");
        QTest::newRow("stores alone, 50 rows") << false << false << 50;
        QTest::newRow("stores alone, 2000 rows") << false << false << 2000;
        QTest::newRow("tables, 50 rows") << true << false << 50;
        QTest::newRow("tables, 2000 rows") << true << false << 2000;
        QTest::newRow("tables with row walk, 50 rows") << true << true << 50;
        QTest::newRow("tables with row walk, 2000 rows") << true << true << 2000;
    }
    void tickCost()
    {
        QFETCH(bool, tables);
        QFETCH(bool, walk);
        QFETCH(int, rows);
        Rig rig(tables, walk);
        // The ticking symbol always has 10 positions; the other rows belong to 19 other symbols.
        rig.load(rows, rows, 10, 19);
        QCoreApplication::processEvents();
        int step = 0;
        QBENCHMARK {
            rig.symbolStore.onPriceReceived(priceReply(symbolName(0), ++step));
        }
        QCOMPARE(rig.accepted, qint64(step));
    }
};

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchLiveTables bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_livetables.moc"
