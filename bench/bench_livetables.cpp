// A tick storm through the live tables: market watch, trade table, net-trade table and account
// summary, fed the way the window feeds them, against the core stores alone in the same run.
//
//   storm:        500 listed symbols, 200 open positions over 20 of them; a producer thread emits
//                 price replies queued to the GUI thread (as the trade client does). Figures:
//                 accepted ticks per second the GUI thread works off, and the largest backlog of
//                 queued price signals, with the tables shown and without them.
//   tickCost:     one accepted tick through the whole chain with 50 and with 2,000 rows in the
//                 market watch and in the trade table.
#include "accountsummary.h"
#include "marketwatch.h"
#include "positiondatastore.h"
#include "symboldatastorage.h"
#include "tradetable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QTableWidget>
#include <QThread>
#include <QtTest>
#include <atomic>
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
        QStringList list;
        for (int i = 0; i < listed; ++i) {
            specs.append(QJsonObject{{"symbol", symbolName(i)}, {"digits", 5}});
            list << symbolName(i);
        }
        symbolStore.onSymbolListReceived(QJsonObject{{"res_code", 8}, {"array", specs}});
        if (tables && watch.setSymbols(list))
            watch.rebuild(symbolStore);

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

// Emits price replies from its own thread, as the trade client's thread does.
class Producer : public QThread
{
    Q_OBJECT
public:
    Producer(int count, int symbols, int ratePerSecond) : count(count), symbols(symbols), rate(ratePerSecond) {}
    std::atomic<qint64> emitted{0};

signals:
    void price(const QJsonObject &reply);

protected:
    void run() override
    {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < count; ++i) {
            if (rate > 0) {
                const qint64 due = qint64(i) * 1000000000LL / rate;
                while (clock.nsecsElapsed() < due)
                    QThread::usleep(50);
            }
            emit price(priceReply(symbolName(i % symbols), i / symbols + 1));
            emitted.fetch_add(1, std::memory_order_relaxed);
        }
    }

private:
    int count;
    int symbols;
    int rate;
};

struct StormResult
{
    double seconds = 0.0;
    qint64 processed = 0;
    qint64 maxBacklog = 0;
    double perSecond() const { return seconds > 0 ? processed / seconds : 0.0; }
};

StormResult storm(bool tables, int count, int rate)
{
    Rig rig(tables);
    rig.load(500, 200, 10, 19);
    QCoreApplication::processEvents();
    rig.accepted = 0;

    Producer producer(count, 500, rate);
    qint64 handled = 0;
    StormResult result;
    QObject::connect(&producer, &Producer::price, &rig.host, [&](const QJsonObject &reply) {
        rig.symbolStore.onPriceReceived(reply);
        ++handled;
        result.maxBacklog = qMax(result.maxBacklog, producer.emitted.load(std::memory_order_relaxed) - handled);
    }, Qt::QueuedConnection);

    QElapsedTimer clock;
    clock.start();
    producer.start();
    while (handled < count)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    result.seconds = clock.nsecsElapsed() / 1e9;
    producer.wait();
    result.processed = rig.accepted;
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

    void stormFlood()
    {
        // As fast as the producer can emit: the GUI thread's ceiling.
        const int count = 60000;
        const StormResult stores = storm(false, count, 0);
        const StormResult tables = storm(true, count, 0);
        qInfo("flood, stores alone:  %9.0f accepted ticks/s, largest backlog %lld", stores.perSecond(), stores.maxBacklog);
        qInfo("flood, with tables:   %9.0f accepted ticks/s, largest backlog %lld", tables.perSecond(), tables.maxBacklog);
        qInfo("flood ratio tables/stores: %.3f", tables.perSecond() / stores.perSecond());
        QCOMPARE(tables.processed, qint64(count));
    }

    void stormPaced()
    {
        // A busy but steady feed: 500 symbols at 20 quotes per second each.
        const int rate = 10000;
        const int count = 20000;
        const StormResult stores = storm(false, count, rate);
        const StormResult tables = storm(true, count, rate);
        qInfo("paced %d/s, stores alone: %9.0f ticks/s, largest backlog %lld", rate, stores.perSecond(), stores.maxBacklog);
        qInfo("paced %d/s, with tables:  %9.0f ticks/s, largest backlog %lld", rate, tables.perSecond(), tables.maxBacklog);
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
