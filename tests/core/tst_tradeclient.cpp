#include "brokerprocess.h"
#include "chartcache.h"
#include "chartmanager.h"
#include "hostilepeers.h"
#include "logger.h"
#include "simtradeserver.h"
#include "symboldatastorage.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QRegularExpression>

#include <algorithm>
#include <numeric>

using corvane_test::BrokerProcess;
using corvane_test::KeepAliveOutOfTheWayMs;
using corvane_test::MustHappenMs;
using namespace simbroker;

namespace {

const QString ServerName = QStringLiteral("Sim Server");
const QString Password = QStringLiteral("pw1001");
constexpr int ReplyLimit = 64 * 1024;
constexpr int DispatchSymbolLimit = 8;

// No row logging in here is about the keep-alive: it is set out of the way.
bool logIn(TradeClient &client, const FloodServer &server, qint64 login = 1001)
{
    client.setKeepAlive(KeepAliveOutOfTheWayMs);
    QSignalSpy logins(&client, &TradeClient::loginSuccess);
    client.connectToServer(server.url().toString(), login, Password, ServerName);
    return logins.wait(MustHappenMs);
}

// An accepted login: the client's thread writes a journal line when it handles one.
const QString LoginMarker = QStringLiteral(R"({"res_code":1,"state":1,"login":1001,"name":"marker","group":"g"})");

// Watches, from the moment it is made, for the client's thread to handle an accepted login (or
// to write another journal line with the given ending).
class LoginWatch
{
public:
    explicit LoginWatch(TradeClient &client, const QString &ending = QStringLiteral("successfully "))
    {
        QObject::connect(Logger::instance(), &Logger::logMessage, &guard,
                         [this, &client, ending](const QDateTime &, const QString &title, const QString &message) {
                             if (QThread::currentThread() != &client)
                                 return;
                             {
                                 QMutexLocker locker(&mutex);
                                 written.append(title + QStringLiteral(": ") + message);
                             }
                             if (message.endsWith(ending))
                                 ++handled;
                         },
                         Qt::DirectConnection);
    }
    // Keeps this (the window's) thread busy, taking no reply, until it has handled that many:
    // what the server sent before the last of them then waits for the window all at once.
    bool busyUntilHandled(int logins = 1) const
    {
        for (const QDeadlineTimer deadline(30000); handled < logins && !deadline.hasExpired();)
            QThread::yieldCurrentThread();
        return handled >= logins;
    }
    // The journal lines the client's thread has written since, as "source: message".
    QStringList lines() const
    {
        QMutexLocker locker(&mutex);
        return written;
    }

private:
    QObject guard;
    std::atomic_int handled{0};
    mutable QMutex mutex;
    QStringList written;
};

// The debug traces written while it lives, by any thread. The suite switches debug output off:
// it is let through meanwhile.
class Traces
{
public:
    Traces()
    {
        current = this;
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
        previous = qInstallMessageHandler(&Traces::take);
    }
    ~Traces()
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);
        current = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker locker(&mutex);
        return taken;
    }

private:
    static void take(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        QMutexLocker locker(&current->mutex);
        current->taken.append(text);
    }
    static inline Traces *current = nullptr;
    QtMessageHandler previous = nullptr;
    mutable QMutex mutex;
    QStringList taken;
};

// A server with account 1001 that sends nothing unasked after a login, the client under test
// with its keep-alive out of the way (a row about it sets it back), and every signal of the
// client and line of the journal, recorded in the test's thread.
class Rig : public QObject
{
    Q_OBJECT
public:
    Rig()
    {
        server.addAccount(1001, Password);
        server.setLoginSnapshot(false);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        client.setKeepAlive(KeepAliveOutOfTheWayMs);
        const QMetaObject &client = TradeClient::staticMetaObject;
        for (int i = client.methodOffset(); i < client.methodCount(); ++i) {
            if (client.method(i).methodType() == QMetaMethod::Signal)
                connect(&this->client, client.method(i), this,
                        staticMetaObject.method(staticMetaObject.indexOfSlot(client.method(i).parameterCount() ? "record(QJsonObject)" : "record()")));
        }
        connect(Logger::instance(), &Logger::logMessage, this,
                [this](const QDateTime &, const QString &title, const QString &message) { journal.append(title + QStringLiteral(": ") + message); });
    }
    int count(const QString &signal) const
    {
        return int(std::count_if(events.begin(), events.end(), [&](const auto &e) { return e.first == signal; }));
    }
    bool connectTo(qint64 login = 1001)
    {
        const int before = count("loginSuccess");
        client.connectToServer(server.url().toString(), login, Password, ServerName);
        return QTest::qWaitFor([&] { return count("loginSuccess") > before; }, MustHappenMs);
    }
    // Runs `action` queued in the test's thread the first time the client thread writes a
    // journal line ending with `text`, and holds the client thread in that line while `hold`.
    // The hold lasts as long as the test's thread takes to run the action; its bound of a minute
    // only lets a stop that never returns (a fault) fail rather than hang.
    template <typename Action, typename Hold>
    void onClientLine(const QString &text, Action action, Hold hold)
    {
        connect(Logger::instance(), &Logger::logMessage, this,
                [=](const QDateTime &, const QString &, const QString &message) {
                    if (QThread::currentThread() != &client || !message.endsWith(text) || seen.exchange(true))
                        return;
                    QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
                    const QDeadlineTimer deadline(60000);
                    while (hold() && !deadline.hasExpired())
                        QThread::yieldCurrentThread();
                },
                Qt::DirectConnection);
    }

    SimTradeServer server;
    TradeClient client;
    QList<QPair<QString, QJsonObject>> events; // signal name, argument
    QStringList journal;
    std::atomic_bool seen{false};

private slots:
    void record(const QJsonObject &object = QJsonObject())
    {
        events.append({QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()), object});
    }
};

} // namespace

class TestTradeClient : public QObject
{
    Q_OBJECT
private slots:
    // Each reply reaches the signal of its kind, also when the window is busy as it arrives: the
    // replies of a row (one frame a line) wait for it together. A symbol store takes the lists
    // and, as the window does, is read and emptied at each accepted login. A line starting with
    // ">" is a request the client sends first, with "<" what the window gets of the reply before
    // it where that differs, with "#" a line the client writes in the journal as the network's
    // (it writes no other meanwhile). The client keeps DispatchSymbolLimit names.
    void dispatch_data()
    {
        QTest::addColumn<QString>("frames");
        // The signals emitted, in order; where there is one a frame, each carries its frame.
        QTest::addColumn<QString>("emitted");
        QTest::addColumn<QString>("store"); // at each login: its market-watch list | every symbol it knows
        const QString login = QStringLiteral(R"({"res_code":1,"state":1,"login":1001,"name":"n","group":"g"})");
        const QString unasked = QStringLiteral("#Sim Server sent chart history that was not asked for: ignored");
        const QString cut = QStringLiteral("#Sim Server sent symbol texts longer than 128 characters: those are cut");
        const auto list = [](const char *symbol) { return QStringLiteral(R"({"res_code":8,"array":[{"symbol":"%1"}]})").arg(symbol); };
        const QString quotes = QVector<QString>(70, QStringLiteral(R"({"res_code":2,"symbol":"EURUSD","bid":1.1,"ask":1.2})")).toList().join('\n');
        QTest::newRow("login accepted") << login << "loginSuccess" << "| / |";
        QTest::newRow("login refused") << R"({"res_code":1,"state":0})" << "loginFail" << "|";
        QTest::newRow("login state boolean") << R"({"res_code":1,"state":true})" << "loginFail" << "|";
        QTest::newRow("price") << R"({"res_code":2,"symbol":"EURUSD","bid":1.1,"ask":1.2})" << "symbolPriceReceived" << "|";
        const QString askChart = QStringLiteral(R"(>{"req_code":3,"symbol":"EURUSD","interval":5,"from":0,"to":-1})");
        const QString chart = QStringLiteral(R"({"res_code":3,"symbol":"EURUSD","interval":5,"array":[]})");
        const QString longName = QString(TradeClient::MaxSymbolNameChars, QLatin1Char('L'));
        const QString longText = QString(TradeClient::MaxSymbolTextChars, QLatin1Char('T'));
        const auto price = [](const QString &symbol) { return QStringLiteral(R"({"res_code":2,"symbol":"%1","bid":1.1,"ask":1.2})").arg(symbol); };
        QTest::newRow("chart") << askChart + '\n' + chart << "chartHistoryReceived" << "|";
        // A reply is kept only as the answer to a request, one reply a request.
        QTest::newRow("chart not asked") << chart + '\n' + unasked << "" << "|";
        QTest::newRow("chart answered twice") << QStringList{askChart, chart, chart, unasked}.join('\n') << "chartHistoryReceived" << "|";
        QTest::newRow("chart asked twice") << QStringList{askChart, askChart, chart, chart, chart, unasked}.join('\n')
                                           << "chartHistoryReceived chartHistoryReceived" << "|";
        QTest::newRow("chart of other series") << QStringList{askChart, QString(chart).replace("5", "15"), QString(chart).replace("EURUSD", "GBPUSD"), chart, unasked}.join('\n')
                                               << "chartHistoryReceived" << "|";
        // A name too long refuses its symbol; a listed symbol's texts are cut to their bound, and
        // of its element the window gets only what the store reads.
        QTest::newRow("long names") << QStringList{QStringLiteral(R"({"res_code":6,"array":[{"ticket":7,"symbol":"%1X"}]})").arg(longName),
                                                   price(longName + 'X'), list(qPrintable(longName + 'X')), price(longName),
                                                   "#Sim Server named more than 8 symbols, or longer names than the terminal keeps: those are ignored"}.join('\n')
                                    << "pendingOrdersReceived symbolPriceReceived" << "|";
        QTest::newRow("long texts") << QStringLiteral(R"({"res_code":8,"array":[{"symbol":"AAA","desc":"%1"}]})" "\n"
                                                      R"(<{"res_code":8,"array":[{"symbol":"AAA","desc":"%2"}]})" "\n"
                                                      R"({"res_code":8,"array":[{"symbol":"BBB","path":"%2"},{"symbol":"CCC","desc":"%2"}]})" "\n%3")
                                           .arg(longText + 'X', longText, cut)
                                    << "symbolListReceived symbolListReceived" << "AAA|AAA BBB CCC";
        const QString hours = QStringLiteral("Mon 00:05-23:55; Tue 00:05-23:55; Wed 00:05-23:55; Thu 00:05-23:55; "
                                             "Fri 00:05-22:55; Sat-Sun closed (server time GMT+2, GMT+3 in summer)");
        QTest::newRow("unread key, long descriptions")
            << QStringList{QStringLiteral(R"({"res_code":8,"array":[{"symbol":"EURUSD","sessions":"%1","digits":5,"desc":"%2"}]})").arg(hours, QString(300, 'D')),
                           QStringLiteral(R"(<{"res_code":8,"array":[{"symbol":"EURUSD","digits":5,"desc":"%1"}]})").arg(QString(128, 'D')),
                           QStringLiteral(R"({"res_code":8,"array":[{"symbol":"GBPUSD","desc":"%1"}]})").arg(QString(300, 'D')),
                           QStringLiteral(R"(<{"res_code":8,"array":[{"symbol":"GBPUSD","desc":"%1"}]})").arg(QString(128, 'D')), cut}.join('\n')
            << "symbolListReceived symbolListReceived" << "EURUSD|EURUSD GBPUSD";
        QTest::newRow("a pair at the bound") << QStringLiteral(R"({"res_code":8,"array":[{"symbol":"EURUSD","path":"%1\ud83d\ude00"}]})" "\n"
                                                               R"(<{"res_code":8,"array":[{"symbol":"EURUSD","path":"%1"}]})" "\n%2")
                                                    .arg(QString(127, 'P'), cut)
                                             << "symbolListReceived" << "EURUSD|EURUSD";
        // Volumes reach the window as the numbers the server wrote, also past what a double holds
        // exactly and from numeric texts longer than the text bound (which are no texts to cut).
        QTest::newRow("exact volumes") << QStringLiteral(R"({"res_code":8,"array":[{"symbol":"EURUSD","max_vol":1000844400045977907,"min_vol":"%1","step_vol":"%2"},)"
                                                         R"({"symbol":"GBPUSD","min_vol":9007199254740993,"max_vol":true}]})" "\n"
                                                         R"(<{"res_code":8,"array":[{"symbol":"EURUSD","max_vol":"1000844400045977907","min_vol":1000,"step_vol":100},)"
                                                         R"({"symbol":"GBPUSD","min_vol":"9007199254740993","max_vol":1}]})")
                                              .arg(QString(130, '0') + "1000", QString(140, ' ') + "100")
                                       << "symbolListReceived" << "EURUSD GBPUSD|EURUSD GBPUSD";
        QTest::newRow("arrays, nameless elements") << R"({"res_code":8,"is_last":1,"array":[{"symbol":"EURUSD","desc":["d"],"path":{"p":1}},{"desc":"d"},7]})" "\n"
                                                      R"(<{"res_code":8,"array":[{"symbol":"EURUSD"}]})"
                                                   << "symbolListReceived" << "EURUSD|EURUSD";
        // Nameless records and prices take none of the limit's places.
        QTest::newRow("empty names") << QStringList{R"({"res_code":6,"array":[{"ticket":7}]})", price(""), list("A"), list("B"), list("C"), list("D"),
                                                    R"({"res_code":8,"array":[{"symbol":"E"},{"symbol":"F"},{"symbol":"G"},{"symbol":"H"}]})"}.join('\n')
                                     << "pendingOrdersReceived symbolListReceived symbolListReceived" << "A|A B C D E F G H";
        QTest::newRow("positions") << R"({"res_code":4,"balance":5,"array":[],"is_last":1})" << "openPositionsReceived" << "|";
        QTest::newRow("history") << R"({"res_code":5,"positions":[],"orders":[],"deals":[]})" << "tradeHistoryReceived" << "|";
        QTest::newRow("orders") << R"({"res_code":6,"array":[{"ticket":7}]})" << "pendingOrdersReceived" << "|";
        QTest::newRow("trade result") << R"({"res_code":7,"status":10009,"msg":"Done","type":0})" << "tradeResponseReceived" << "|";
        QTest::newRow("symbols") << R"({"res_code":8,"array":[{"symbol":"EURUSD"}]})" << "symbolListReceived" << "EURUSD|EURUSD";
        // Merged, not replaced: the later list leaves the market watch as the first made it.
        QTest::newRow("two symbol lists") << R"({"res_code":8,"array":[{"symbol":"AAA"},{"symbol":"BBB"}]})"
                                             "\n" R"({"res_code":8,"array":[{"symbol":"CCC"}]})"
                                          << "symbolListReceived symbolListReceived" << "AAA BBB|AAA BBB CCC";
        // The store emptied at a login takes no list received before it.
        QTest::newRow("login between symbol lists") << QStringList{list("AAA"), list("BBB"), login, list("CCC")}.join('\n')
                                                    << "symbolListReceived symbolListReceived loginSuccess symbolListReceived"
                                                    << "AAA|AAA BBB / CCC|CCC";
        // Also when a flood of quotes meanwhile has the waiting replies moved up in the outbox.
        QTest::newRow("login between symbol lists, quotes") << QStringList{list("AAA"), list("BBB"), login, list("CCC"), quotes, list("DDD")}.join('\n')
                                                            << "symbolListReceived symbolListReceived loginSuccess symbolListReceived "
                                                               "symbolPriceReceived symbolListReceived"
                                                            << "AAA|AAA BBB / CCC|CCC DDD";
        QTest::newRow("unknown code") << R"({"res_code":9,"x":1})" << "" << "|";
        QTest::newRow("invalid json") << R"({"res_code":2,)" << "" << "|";
        QTest::newRow("array") << R"([{"res_code":2}])" << "" << "|";
    }
    void dispatch()
    {
        QFETCH(QString, frames);
        QFETCH(QString, emitted);
        FloodServer server;
        QVERIFY(server.listen());
        Rig r;
        r.client.setSymbolLimit(DispatchSymbolLimit);
        SymbolDataStorage store;
        connect(&r.client, &TradeClient::symbolListReceived, &store, &SymbolDataStorage::onSymbolListReceived);
        QVERIFY(logIn(r.client, server));
        QStringList atLogins;
        connect(&r.client, &TradeClient::loginSuccess, &store, [&] {
            atLogins.append(store.symbolList().join(' ') + '|' + store.allSymbols().join(' '));
            store.clear();
        });
        r.events.clear();
        const LoginWatch marked(r.client);
        QStringList sent;
        QList<QJsonObject> expected;
        QStringList lines;
        for (const QString &frame : frames.split('\n')) {
            if (frame.startsWith('<')) {
                expected.last() = QJsonDocument::fromJson(frame.mid(1).toUtf8()).object();
                continue;
            }
            if (frame.startsWith('#')) {
                lines.append(QStringLiteral("Network: ") + frame.mid(1));
                continue;
            }
            if (!frame.startsWith('>')) {
                sent.append(frame);
                expected.append(QJsonDocument::fromJson(frame.toUtf8()).object());
                continue;
            }
            // The reply follows the request the server has read.
            const QJsonObject request = QJsonDocument::fromJson(frame.mid(1).toUtf8()).object();
            const int before = int(server.receivedFrames().size());
            r.client.sendRequest(request);
            QTRY_VERIFY_WITH_TIMEOUT(server.receivedFrames().size() > before, MustHappenMs);
        }
        for (const QString &frame : sent)
            server.sendText(frame);
        // Once the marker behind them has arrived, the frames under test were handled.
        server.sendText(LoginMarker);
        QVERIFY(marked.busyUntilHandled(emitted.count(QStringLiteral("loginSuccess")) + 1));
        const QJsonObject marker = QJsonDocument::fromJson(LoginMarker.toUtf8()).object();
        QTRY_VERIFY_WITH_TIMEOUT(!r.events.isEmpty() && r.events.last().second == marker, MustHappenMs);
        QStringList delivered;
        for (const auto &event : qAsConst(r.events))
            delivered.append(event.first);
        QCOMPARE(delivered.join(' '), (emitted + " loginSuccess").trimmed());
        if (delivered.size() == sent.size() + 1) {
            for (int i = 0; i < sent.size(); ++i)
                QCOMPARE(r.events[i].second, delivered[i] == "loginFail" ? QJsonObject() : expected[i]);
        }
        QTEST(atLogins.join(QStringLiteral(" / ")), "store");
        const QStringList written = marked.lines();
        QCOMPARE(written.filter(QRegularExpression("^Network: ")), lines);
    }

    // A reply brings at most its record limit of each record array into the window (3 open
    // positions or pending orders, 2 of each history array here): the newest by "time", read as
    // the records read it, the later of one time counting as the newer, in the reply's order. The
    // journal says so once a reply, and only symbols of kept records are held. "t" stands for a
    // record {"ticket", "time"}: t(1,100). Delivered: the code and the tickets of each reply.
    void recordsPastTheirLimitKeepTheNewest_data()
    {
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("delivered");
        QTest::addColumn<QStringList>("journal");
        const auto t = [](int ticket, const char *time) { return QStringLiteral(R"({"ticket":%1,"time":%2})").arg(ticket).arg(time); };
        const auto positions = [](const QStringList &records, int last = 1) {
            return QStringLiteral(R"({"res_code":4,"balance":5,"is_last":%1,"array":[%2]})").arg(last).arg(records.join(','));
        };
        const QString cutPositions = QStringLiteral("Network: Sim Server sent 5 open positions: the terminal shows the newest 3");
        const QString cutOrders = QStringLiteral("Network: Sim Server sent 4 pending orders: the terminal shows the newest 3");
        QTest::newRow("positions") << positions({t(1, "100"), t(2, "500"), t(3, "300"), t(4, "200"), t(5, "400")})
                                   << "4:2 3 5" << QStringList{cutPositions};
        QTest::newRow("positions at the limit") << positions({t(1, "100"), t(2, "500"), t(3, "300")}) << "4:1 2 3" << QStringList{};
        QTest::newRow("one time") << positions({t(1, "7"), t(2, "7"), t(3, "7"), t(4, "7"), t(5, "7")}) << "4:3 4 5" << QStringList{cutPositions};
        QTest::newRow("times as read") << positions({t(1, "\"900\""), t(2, "100"), t(3, "1.6"), t(4, "\"x\""), t(5, "200")})
                                       << "4:1 2 5" << QStringList{cutPositions};
        QTest::newRow("figures only") << positions({t(1, "1"), t(2, "2"), t(3, "3"), t(4, "4"), t(5, "5")}, 0)
                                      << "4:1 2 3 4 5" << QStringList{};
        const QString orders = QStringLiteral(R"({"res_code":6,"array":[%1]})").arg(QStringList{t(1, "4"), t(2, "3"), t(3, "2"), t(4, "1")}.join(','));
        QTest::newRow("pending orders, then positions") << orders + '\n' + positions({t(1, "100"), t(2, "500"), t(3, "300"), t(4, "200"), t(5, "400")})
                                                        << "6:1 2 3 4:2 3 5" << QStringList{cutOrders, cutPositions};
        QTest::newRow("history") << QStringLiteral(R"({"res_code":5,"positions":[%1],"orders":[%2],"deals":[%3]})")
                                        .arg(QStringList{t(1, "3"), t(2, "1"), t(3, "2")}.join(','), QStringList{t(4, "1"), t(5, "2")}.join(','),
                                             QStringList{t(6, "9"), t(7, "8"), t(8, "7"), t(9, "6")}.join(','))
                                 << "5:1 3/4 5/6 7"
                                 << QStringList{"Network: Sim Server sent more trade history than the terminal shows (4 records of a kind): "
                                                "the newest 2 of each are shown; choose a shorter period"};
        // The symbol limit (2) leaves room for 4 held symbols; the one left out takes none.
        QTest::newRow("held symbols") << positions({R"({"ticket":1,"time":1,"symbol":"OLD"})", R"({"ticket":2,"time":2,"symbol":"K1"})",
                                                    R"({"ticket":3,"time":3,"symbol":"K2"})", R"({"ticket":4,"time":4,"symbol":"K3"})",
                                                    R"({"ticket":5,"time":5,"symbol":"K1"})"})
                                             + '\n' + R"({"res_code":2,"symbol":"OLD","bid":1.1,"ask":1.2})"
                                             + '\n' + R"({"res_code":2,"symbol":"K3","bid":1.1,"ask":1.2})"
                                      << "4:3 4 5 2:K3"
                                      << QStringList{cutPositions, "Network: Sim Server named more than 2 symbols, or longer names than the "
                                                                   "terminal keeps: those are ignored"};
    }
    void recordsPastTheirLimitKeepTheNewest()
    {
        QFETCH(QString, frames);
        Rig r;
        r.client.setRecordLimits(3, 2);
        r.client.setSymbolLimit(2);
        QVERIFY(r.connectTo());
        r.events.clear();
        r.journal.clear();
        for (const QString &frame : frames.split('\n'))
            r.server.sendText(frame);
        r.server.sendText(LoginMarker);
        QTRY_COMPARE_WITH_TIMEOUT(r.count("loginSuccess"), 1, MustHappenMs);
        QStringList delivered;
        const auto tickets = [](const QJsonArray &records) {
            QStringList kept;
            for (const QJsonValue record : records)
                kept.append(QString::number(record.toObject().value("ticket").toInt()));
            return kept.join(' ');
        };
        for (const auto &event : qAsConst(r.events)) {
            const QJsonObject &reply = event.second;
            const int code = reply.value("res_code").toInt();
            if (code == 2)
                delivered.append("2:" + reply.value("symbol").toString());
            else if (code == 5)
                delivered.append("5:" + tickets(reply.value("positions").toArray()) + '/' + tickets(reply.value("orders").toArray()) + '/'
                                 + tickets(reply.value("deals").toArray()));
            else if (code != 1)
                delivered.append(QString::number(code) + ':' + tickets(reply.value("array").toArray()));
        }
        QTEST(delivered.join(' '), "delivered");
        QStringList lines = r.journal.filter(QStringLiteral("Network: "));
        QTEST(lines, "journal");
    }

    // One run through a drop, a frozen server and a refused login on the way back.
    void lostConnectionsAreRejoinedOnce()
    {
        Rig r;
        QVERIFY(r.connectTo());
        QSignalSpy tcpConnections(&r.server, &SimTradeServer::tcpConnected);
        QSignalSpy closeFrames(&r.server, &SimTradeServer::clientCloseFrame);
        const QString disconnected = QStringLiteral("Network: Disconnected from Sim Server");
        // The connections the server had taken as each loss reached this thread: the line is on
        // its way here before the reconnection after it starts, 3 s later, so it is read first
        // however late this thread gets to it.
        QList<int> connectionsAtLoss;
        connect(Logger::instance(), &Logger::logMessage, &r, [&](const QDateTime &, const QString &title, const QString &message) {
            if (title + QStringLiteral(": ") + message == disconnected)
                connectionsAtLoss.append(tcpConnections.count());
        });
        // The product's keep-alive for the connection the frozen server silences below.
        r.client.setKeepAlive(TradeClient::DefaultKeepAliveMs);
        const QDeadlineTimer reconnectDelay(2500);
        r.server.dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(r.count("loginSuccess"), 2, 30000);
        QVERIFY(reconnectDelay.hasExpired());
        QCOMPARE(r.count("websocketDisconnected"), 1);
        QCOMPARE(r.journal.count(disconnected), 1);

        // Silent after the login: a ping goes out, no pong comes back, the client leaves with 1006.
        r.server.setFrozen(true);
        QTRY_COMPARE_WITH_TIMEOUT(r.journal.count(disconnected), 2, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(closeFrames.count(), 1, MustHappenMs);
        QCOMPARE(closeFrames.first().at(1).toInt(), 1006);
        // The error and the loss of the dropped socket opened one connection, not two.
        QCOMPARE(connectionsAtLoss, (QList<int>{0, 1}));
        r.client.setKeepAlive(KeepAliveOutOfTheWayMs); // read by the next connection, opened once the server thaws

        // A login refused after a reconnection ends the retries.
        r.server.setRefuseLogins(true);
        r.server.setFrozen(false);
        QTRY_COMPARE_WITH_TIMEOUT(r.count("loginFail"), 1, 30000);
        QCOMPARE(r.server.receivedRequests(1).size(), 3);
        QVERIFY(!r.client.isLoggedIn());
        // The clock is a second client, logged in, that loses its connection with the first: once
        // it is back twice, a retry of the first would have come a whole retry delay before.
        r.server.setRefuseLogins(false);
        r.server.addAccount(1002, QStringLiteral("pw1002"));
        TradeClient control;
        control.setKeepAlive(KeepAliveOutOfTheWayMs);
        QSignalSpy controlLogins(&control, &TradeClient::loginSuccess);
        control.connectToServer(r.server.url().toString(), 1002, QStringLiteral("pw1002"), ServerName);
        QVERIFY(controlLogins.wait(MustHappenMs));
        r.server.closeConnections();
        QVERIFY(controlLogins.wait(30000));
        r.server.dropConnections();
        QVERIFY(controlLogins.wait(30000));
        const QList<QJsonObject> logins = r.server.receivedRequests(1);
        QCOMPARE(std::count_if(logins.begin(), logins.end(), [](const QJsonObject &login) { return login.value("id").toInt() == 1001; }), 3);
        QCOMPARE(tcpConnections.count(), 5);
    }

    // A reply still arriving keeps the connection while the server's pong waits behind it; a
    // server that stops in the middle of its reply once the ping is in is dropped all the same,
    // by the keep-alive. The keep-alive is above the pong time-out (1.5 s), which each ping starts
    // anew; the slow reply takes some 6 s. The server is a process in a group of its own, as a
    // broker is elsewhere: a stall of this process (a busy machine) stalls the client alone, and
    // what the server sent meanwhile waits in the client's socket, to be read before the client's
    // timers, overdue after the stall, judge the server's silence.
    void replyStillArrivingKeepsTheConnection_data()
    {
        QTest::addColumn<QStringList>("reply"); // the server's options
        QTest::newRow("slow reply") << QStringList{"--records", "480"};
        // Endless but for the ping: the silence starts after it, however late the client pings.
        QTest::newRow("reply stopped midway") << QStringList{"--records", "100000", "--stop-after-ping"};
    }
    void replyStillArrivingKeepsTheConnection()
    {
        QFETCH(QStringList, reply);
        const bool stopped = reply.contains("--stop-after-ping");
        BrokerProcess server;
        QVERIFY(server.start(QStringList{"--paced-reply", "--port", "0", "--own-process-group"} + reply));
        TradeClient client;
        client.setKeepAlive(2000);
        QSignalSpy logins(&client, &TradeClient::loginSuccess);
        QSignalSpy lost(&client, &TradeClient::websocketDisconnected);
        QSignalSpy history(&client, &TradeClient::tradeHistoryReceived);
        QStringList journal;
        connect(Logger::instance(), &Logger::logMessage, &client,
                [&](const QDateTime &, const QString &title, const QString &message) { journal.append(title + ": " + message); });
        Traces traces;
        client.connectToServer(server.url, 1001, Password, ServerName);
        QVERIFY(logins.wait(MustHappenMs));
        QTRY_VERIFY_WITH_TIMEOUT(history.count() + lost.count() > 0, MustHappenMs);
        QCOMPARE(history.count(), int(!stopped));
        if (!stopped) {
            // The pongs come after the reply; once one is in, no pong is missing, and a reply
            // sent then comes after whatever the client did before.
            QTRY_VERIFY_WITH_TIMEOUT(traces.lines().contains("Websocket pong"), MustHappenMs);
            QSignalSpy marker(&client, &TradeClient::tradeResponseReceived);
            server.send(R"({"res_code":7,"marker":"end"})");
            QVERIFY(marker.wait(MustHappenMs));
            QCOMPARE(history.first().first().toJsonObject().value("deals").toArray().size(), 480);
        }
        QCOMPARE(lost.count(), int(stopped));
        QCOMPARE(traces.lines().contains("force disconnected"), stopped);
        QCOMPARE(journal.count("Network: Disconnected from Sim Server"), int(stopped));
        QCOMPARE(logins.count(), 1);
    }

    void connectToServerChangeRules_data()
    {
        QTest::addColumn<QStringList>("values"); // URL, login, password, server name
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("changed");
        QTest::newRow("host case") << QStringList{"ws://LocalHost:%1", "1001", "pw1001", "Sim Server"} << false << false;
        QTest::newRow("same, not logged in") << QStringList{"ws://localhost:%1", "1001", "pw1001", "Sim Server"} << true << false;
        QTest::newRow("server name") << QStringList{"ws://localhost:%1", "1001", "pw1001", "Other"} << false << true;
        QTest::newRow("password") << QStringList{"ws://localhost:%1", "1001", "other", "Sim Server"} << false << true;
        QTest::newRow("login") << QStringList{"ws://localhost:%1", "1002", "pw1001", "Sim Server"} << false << true;
    }
    void connectToServerChangeRules()
    {
        QFETCH(QStringList, values);
        QFETCH(bool, refused);
        QFETCH(bool, changed);
        Rig r;
        r.server.setRefuseLogins(refused);
        const quint16 port = r.server.serverPort();
        r.client.connectToServer(QStringLiteral("ws://localhost:%1").arg(port), 1001, Password, ServerName);
        QTRY_COMPARE_WITH_TIMEOUT(r.events.size(), 1, MustHappenMs);
        QCOMPARE(r.client.connectToServer(values[0].arg(port), values[1].toLongLong(), values[2], values[3]), changed);
        // Anything but the same values while logged in starts over with a new login.
        const bool restarts = changed || refused;
        QCOMPARE(r.client.isLoggedIn(), !restarts);
        if (restarts) {
            QTRY_COMPARE_WITH_TIMEOUT(r.server.receivedRequests(1).size(), 2, MustHappenMs);
        } else {
            // A request made after the call goes out on the connection that was there, with no
            // login before it.
            r.client.sendRequest({{"req_code", 42}});
            QTRY_COMPARE_WITH_TIMEOUT(r.server.receivedRequests(42).size(), 1, MustHappenMs);
            QCOMPARE(r.server.receivedRequests(1).size(), 1);
        }
        const QJsonObject login = r.server.receivedRequests(1).last();
        QCOMPARE(qint64(login.value("id").toDouble()), values[1].toLongLong());
        QCOMPARE(login.value("password").toString(), values[2]);
    }

    // The account is above 2^31 - 1: it must go out whole, not cut to another account. A burst
    // of requests goes out in order; the program's end closes with code 1000.
    void sessionRequestsAndShutdown()
    {
        constexpr qint64 Login = 3000000001LL;
        Rig r;
        r.server.addAccount(Login, Password);
        QVERIFY(r.connectTo(Login));
        r.client.sendRequest({{"req_code", 42}});
        QList<QJsonObject> burst{{{"req_code", 42}, {"login", Login}}};
        for (int i = 0; i < 300; ++i) {
            burst.append({{"req_code", 42}, {"seq", i}, {"login", 1001}});
            r.client.sendRequest(burst.last());
        }
        // A day's bounds are local midnights: from the given day's start to tomorrow's.
        const QDate today = QDate::currentDate();
        QList<QJsonObject> histories;
        for (const int days : {0, -1, -30, 2}) {
            r.client.requestTradeHistory(days);
            histories.append({{"from", today.addDays(days).startOfDay().toSecsSinceEpoch()},
                              {"to", today.addDays(1).startOfDay().toSecsSinceEpoch()}, {"login", Login}, {"req_code", 5}});
        }
        QTRY_COMPARE_WITH_TIMEOUT(r.server.receivedRequests(5), histories, MustHappenMs);
        QCOMPARE(r.server.receivedRequests(42), burst);
        QCOMPARE(r.server.receivedFrames().at(0).text, QStringLiteral(R"({"id":3000000001,"password":"pw1001","req_code":1,"type":3})"));
        QVERIFY(r.journal.contains(QStringLiteral("Terminal: 3000000001 login to Sim Server successfully ")));

        QSignalSpy closeFrames(&r.server, &SimTradeServer::clientCloseFrame);
        QVERIFY(r.client.shutdown(MustHappenMs));
        QTRY_COMPARE_WITH_TIMEOUT(closeFrames.count(), 1, MustHappenMs);
        QCOMPARE(closeFrames.first().at(1).toInt(), 1000);
    }

    // A trace of an invalid frame holds its first 200 characters and its size: a hostile server
    // sending frames of hundreds of megabytes must not write them all to the error output.
    void invalidFrameTrace_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("traced");
        const QString head = QStringLiteral("{\"res_code\":2,") + QString(186, QLatin1Char('x'));
        QTest::newRow("201 characters") << head + QLatin1Char('y') << head;
        QTest::newRow("one million") << head + QString(1000000 - 200, QLatin1Char('z')) << head;
        QTest::newRow("not an object") << R"([1,2])" << "";
    }
    void invalidFrameTrace()
    {
        QFETCH(QString, frame);
        QFETCH(QString, traced);
        Traces traces;
        QCOMPARE(TradeClient::parseMessage(frame), QJsonObject());
        QCOMPARE(traces.lines(), QStringList(traced.isEmpty() ? QStringLiteral("Document is not an object \n")
                                                      : QStringLiteral("Invalid JSON...\n %1 (%2 characters) \n").arg(traced).arg(frame.size())));
    }

    // An attempt whose handshake never completes is given up after the open time-out: while
    // logged in, a journal line and a new attempt, which gets back in once the server answers.
    void stalledOpeningIsGivenUp()
    {
        Rig r;
        r.client.setOpenTimeout(400);
        QVERIFY(r.connectTo());
        QSignalSpy tcpConnections(&r.server, &SimTradeServer::tcpConnected);
        // The relay takes connections but moves nothing while frozen: the handshake stalls.
        r.server.setFrozen(true);
        r.server.dropConnections();
        const QString givenUp = QStringLiteral("Network: Network not found");
        QTRY_VERIFY_WITH_TIMEOUT(r.journal.contains(givenUp), 30000);
        r.server.setFrozen(false);
        QTRY_COMPARE_WITH_TIMEOUT(r.count("loginSuccess"), 2, 30000);
        // Each attempt given up was followed by one new attempt, the last of which got in: more
        // than one were given up only when this thread came late to unfreeze the server.
        QCOMPARE(tcpConnections.count(), r.journal.count(givenUp) + 1);
    }

    // A flood that arrives while the window is busy (it takes nothing until the client's thread
    // has read the whole flood): what then waits for the window is bounded, the newest quote of
    // each symbol, the newest reply of a whole-state kind, and of symbol lists the first and one
    // that gathers every symbol of the others with its newest element. Every trade result arrives
    // once and in order. The memory and the delays under a flood are the benchmark's figures.
    // A flood of new symbols, with a small symbol limit: the window gets the symbols within the
    // limit and, past it, still the ticks of those listed or held; the journal says so once.
    // Names too long are refused as names past the limit, taking no place; of a list element the
    // window gets what the store reads, each text within its bound, and the journal says once
    // that texts were cut. Of
    // a flood of chart-history replies the keeper gets only the answer to its request, once.
    void replyFloodStaysBounded_data()
    {
        // The reply's code, replies in the flood, symbols they name in turn, replies delivered;
        // where given, the symbol limit, the symbols of one list, the length of each name and
        // description, and the bars of each chart-history reply.
        QTest::addColumn<QVector<int>>("flood");
        QTest::newRow("prices") << QVector<int>{2, 20000, 20, 20};
        QTest::newRow("account and positions") << QVector<int>{4, 2000, 1, 1};
        QTest::newRow("trade history") << QVector<int>{5, 2000, 1, 1};
        QTest::newRow("pending orders") << QVector<int>{6, 2000, 1, 1};
        QTest::newRow("symbol lists") << QVector<int>{8, 2000, 20, 2};
        QTest::newRow("prices of new symbols") << QVector<int>{2, 20000, 20000, 56, 50};
        QTest::newRow("lists of new symbols") << QVector<int>{8, 2000, 20000, 8, 50, 10};
        QTest::newRow("prices of long names") << QVector<int>{2, 20000, 20000, 7, 50, 1, TradeClient::MaxSymbolNameChars + 1};
        QTest::newRow("lists of long descriptions") << QVector<int>{8, 2000, 20000, 8, 50, 10, 0, TradeClient::MaxSymbolTextChars + 1};
        QTest::newRow("unasked chart history") << QVector<int>{3, 2000, 2000, 0, 0, 1, 0, 0, 50};
        // Trade results past what may wait for the window, in count or in characters (padded,
        // with a reply limit of 64 KiB, so 16 Ki characters may wait): the rest are dropped with
        // the connection, which the client then rejoins. Then the padding and the results
        // delivered.
        QTest::newRow("trade results past the backlog") << QVector<int>{7, 20000, 1, 0, 0, 1, 0, 0, 0, 0, TradeClient::MaxWaitingReplies};
        QTest::newRow("long trade results past the backlog") << QVector<int>{7, 200, 1, 0, 0, 1, 0, 0, 0, 5000, 4};
    }
    void replyFloodStaysBounded()
    {
        QFETCH(QVector<int>, flood);
        const int resCode = flood[0];
        FloodServer server;
        QVERIFY(server.listen());
        TradeClient client;
        QHash<QString, qint64> lastSeq;
        int delivered = 0;
        int longestText = 0;
        int unreadKeys = 0;
        QVector<qint64> results;
        bool ended = false;
        const int limit = flood.value(4);
        const bool backlog = resCode == 7;
        if (limit)
            client.setSymbolLimit(limit);
        if (limit || flood.value(9))
            client.setReplyLimit(ReplyLimit);
        int logins = 0;
        connect(&client, &TradeClient::loginSuccess, &client, [&] { ++logins; });
        int limitLines = 0;
        int cutLines = 0;
        int backlogLines = 0;
        connect(Logger::instance(), &Logger::logMessage, &client, [&](const QDateTime &, const QString &, const QString &message) {
            backlogLines += message == "Replies from Sim Server came faster than the terminal takes them: connection dropped";
            limitLines += message == QStringLiteral("Sim Server named more than %1 symbols, or longer names than the "
                                                   "terminal keeps: those are ignored").arg(limit);
            cutLines += message == "Sim Server sent symbol texts longer than 128 characters: those are cut";
        });
        for (const auto signal : {&TradeClient::symbolPriceReceived, &TradeClient::openPositionsReceived, &TradeClient::tradeHistoryReceived,
                                  &TradeClient::pendingOrdersReceived, &TradeClient::symbolListReceived}) {
            connect(&client, signal, &client, [&](const QJsonObject &reply) {
                ++delivered;
                // A symbol list's own symbols are its elements', each with its "seq" in a key the
                // store reads as well as in one it does not read.
                const bool list = reply.value("res_code").toInt() == 8;
                const QJsonArray elements = list ? reply.value("array").toArray() : QJsonArray{reply};
                for (const QJsonValue element : elements) {
                    const QJsonObject record = element.toObject();
                    lastSeq[record.value("symbol").toString()] = qint64(record.value(list ? "c_size" : "seq").toDouble());
                    longestText = std::max({longestText, record.value("desc").toString().size(), record.value("path").toString().size()});
                    unreadKeys += list && record.contains("seq");
                }
            });
        }
        connect(&client, &TradeClient::tradeResponseReceived, &client, [&](const QJsonObject &result) {
            results.append(qint64(result.value("seq").toDouble()));
            ended = result.contains("marker");
        });
        QVERIFY(logIn(client, server));
        QSignalSpy finished(&server, &FloodServer::floodFinished);
        FloodServer::Plan plan;
        plan.resCode = resCode;
        plan.replies = flood[1];
        plan.symbols = flood[2];
        plan.listLength = flood.value(5, 1);
        plan.nameLength = flood.value(6);
        plan.descriptionLength = flood.value(7);
        plan.bars = flood.value(8);
        plan.tradeResultEvery = 1000;
        plan.trailer = LoginMarker;
        if (backlog) {
            plan.tradeResultEvery = 0;
            plan.noteSymbols = false;
            plan.padding = flood[9];
        }
        // The keeper, as the window wires it, asks for EURUSD H1 once; the flood answers it among
        // its other replies, and the trailer answers it again.
        ChartManager keeper(&client);
        int charts = 0;
        if (plan.bars) {
            keeper.setAccount(1001, ServerName);
            connect(&client, &TradeClient::chartHistoryReceived, &keeper, &ChartManager::updateChartHistoryFromServer);
            connect(&client, &TradeClient::chartHistoryReceived, &client, [&] { ++charts; });
            keeper.requestChartHistory("EURUSD", 60, 0, -1);
            QTRY_VERIFY_WITH_TIMEOUT(server.receivedFrames().constLast().text.contains(R"("req_code":3)"), MustHappenMs);
            plan.noteSymbols = false;
            plan.trailer = R"({"res_code":3,"symbol":"EURUSD","interval":60,"array":[{"datetime":1,"open":1}]})" "\n" + LoginMarker;
        }
        if (limit) {
            // Listed before the flood; held, listed again and priced after it, past the limit.
            server.sendText(R"({"res_code":8,"array":[{"symbol":"LISTED"}]})");
            QTRY_COMPARE_WITH_TIMEOUT(delivered, 1, MustHappenMs);
            plan.trailer = QStringList{R"({"res_code":4,"is_last":1,"array":[{"ticket":1,"symbol":"HELD"}]})",
                                       R"({"res_code":6,"array":[{"ticket":2,"symbol":"ORDERED"}]})",
                                       R"({"res_code":8,"array":[{"symbol":"LISTED","c_size":1},{"symbol":"NEWLIST","c_size":2}]})",
                                       R"({"res_code":2,"symbol":"LISTED","bid":1.1,"ask":1.2,"seq":3})",
                                       R"({"res_code":2,"symbol":"HELD","bid":1.1,"ask":1.2,"seq":4})",
                                       R"({"res_code":2,"symbol":"ORDERED","bid":1.1,"ask":1.2,"seq":5})", LoginMarker}.join('\n');
        }
        // Past the backlog not even a login gets in until the window has taken what waits.
        const LoginWatch marked(client, backlog ? QStringLiteral("connection dropped") : QStringLiteral("successfully "));
        server.startFlood(plan);
        QVERIFY(marked.busyUntilHandled());
        QTRY_VERIFY_WITH_TIMEOUT((ended || backlog) && finished.count() == 1 && logins == 2, MustHappenMs);
        const auto report = finished.first().first().value<FloodServer::Report>();

        QCOMPARE(report.prices, qint64(flood[1]));
        QCOMPARE(delivered, flood[3]);
        QVector<qint64> expected(backlog ? flood[10] : int(report.tradeResults + 1));
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(results, expected);
        QHash<QString, qint64> expectedSeq = report.lastSeqOfSymbol;
        if (limit) {
            // The flood's first symbols fill the limit but LISTED's place. Of long names nothing is
            // kept, so the limit has room for a new name after them.
            if (plan.nameLength)
                expectedSeq = {{"NEWLIST", 2}};
            for (int i = limit - 1; i < flood[2]; ++i)
                expectedSeq.remove(FloodServer::symbolName(i));
            for (const auto &held : QVector<QPair<QString, qint64>>{{"LISTED", 3}, {"HELD", 4}, {"ORDERED", 5}, {"", 0}})
                expectedSeq.insert(held.first, held.second);
        }
        QCOMPARE(lastSeq, expectedSeq);
        QCOMPARE(charts, int(plan.bars > 0));
        QCOMPARE(longestText, qMin(plan.descriptionLength, int(TradeClient::MaxSymbolTextChars)));
        QCOMPARE(unreadKeys, 0);
        QCOMPARE(cutLines, int(plan.descriptionLength > 0));
        QCOMPARE(backlogLines, int(backlog));
        if (plan.bars) {
            keeper.waitForWorkers();
            QCOMPARE(QDir(ChartCache::folderPath(ServerName, 1001)).entryList(QDir::Files), QStringList{"EURUSD_60"});
            QCOMPARE(keeper.getChartHistory("EURUSD", 60).size(), plan.bars);
            QVERIFY(keeper.getChartHistory("EURUSD", 1).isEmpty() && keeper.getChartHistory(FloodServer::symbolName(0), 60).isEmpty());
        }
        QTRY_COMPARE_WITH_TIMEOUT(limitLines, int(limit > 0), MustHappenMs);
        if (limit) {
            // A reply over the limit drops the connection; the next one meets the full set again.
            server.sendText(QStringLiteral(R"({"res_code":5,"pad":"%1"})").arg(QString(ReplyLimit, QLatin1Char('x'))));
            QTRY_COMPARE_WITH_TIMEOUT(logins, 3, MustHappenMs);
            const QString after = plan.nameLength || plan.descriptionLength ? QString(TradeClient::MaxSymbolNameChars + 1, 'A') : "AFTER";
            server.sendText(QStringLiteral(R"({"res_code":2,"symbol":"%1","bid":1.1,"ask":1.2,"seq":6})").arg(after));
            QTRY_COMPARE_WITH_TIMEOUT(limitLines, 2, MustHappenMs);
            // And texts cut again are said again.
            server.sendText(QStringLiteral(R"({"res_code":8,"array":[{"symbol":"LISTED","desc":"%1"}]})").arg(QString(plan.descriptionLength, 'd')));
            QTRY_COMPARE_WITH_TIMEOUT(cutLines, int(plan.descriptionLength > 0) * 2, MustHappenMs);
        }
    }

    // A server that stops reading is a lost connection once the send limit waits unsent, not a
    // reason to buffer without end. The keep-alive, which would end the silent server's
    // connection too, is set out of the way: only the send limit may end it here. How soon it
    // comes before the keep-alive is the benchmark's figure.
    void deafServerIsALostConnection()
    {
        FloodServer deaf;
        QVERIFY(deaf.listen());
        TradeClient client;
        client.setKeepAlive(KeepAliveOutOfTheWayMs);
        QSignalSpy lost(&client, &TradeClient::websocketDisconnected);
        QVERIFY(logIn(client, deaf));
        deaf.stopReading();
        const QString request = QStringLiteral(R"({"req_code":42,"pad":"%1"})").arg(QString(64 * 1024, QLatin1Char('x')));
        Traces traces;
        // 64 MiB, many times the send limit and what the kernel takes: the limit is met whatever
        // the pace.
        for (int i = 0; i < 1024 && lost.isEmpty(); ++i) {
            client.sendMessage(request);
            lost.wait(1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 60000);
        const QStringList lines = traces.lines();
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString &line) { return line.startsWith("WebSocket send limit reached:"); }));
    }

    // A reply over the limit, in one frame or many, ends the connection as a lost socket (the
    // client logs in again) with a journal line, and is never delivered; one at the limit is.
    void oversizedReplyIsALostConnection_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("frameSize"); // 0: one frame
        QTest::newRow("at the limit") << ReplyLimit << 0;
        QTest::newRow("one frame over") << ReplyLimit + 1 << 0;
        QTest::newRow("many frames over") << ReplyLimit + 1 << 4096;
    }
    void oversizedReplyIsALostConnection()
    {
        QFETCH(int, size);
        QFETCH(int, frameSize);
        Rig r;
        r.client.setReplyLimit(ReplyLimit);
        QVERIFY(r.connectTo());
        if (frameSize)
            r.server.setOutgoingFrameSize(quint64(frameSize));
        const QString head = QStringLiteral("{\"res_code\":5,\"pad\":\"");
        r.server.sendText(head + QString(size - head.size() - 2, QLatin1Char('x')) + QStringLiteral("\"}"));
        const bool over = size > ReplyLimit;
        QTRY_COMPARE_WITH_TIMEOUT(r.count(over ? "websocketDisconnected" : "tradeHistoryReceived"), 1, MustHappenMs);
        QCOMPARE(r.count("tradeHistoryReceived"), int(!over));
        if (over) {
            // The line is written for that loss only, not again for the next one.
            QTRY_COMPARE_WITH_TIMEOUT(r.count("loginSuccess"), 2, MustHappenMs);
            r.server.dropConnections();
            QTRY_COMPARE_WITH_TIMEOUT(r.count("websocketDisconnected"), 2, MustHappenMs);
        }
        QCOMPARE(r.journal.count(QStringLiteral("Network: Reply from Sim Server larger than 0.0625 MB: connection dropped")), int(over));
    }

    // What one run queued, and what was asked while the thread stood still, never goes out on
    // the next connection. The peer answers the handshake at once from its own thread, so the next
    // connection is open before the first send tick and would carry a stale request.
    void staleRequestsNeverReachTheNextConnection()
    {
        FloodServer peer;
        QVERIFY(peer.listen());
        TradeClient client;
        for (int round = 0; round < 5; ++round) {
            QVERIFY(logIn(client, peer));
            for (int i = 0; i < 20; ++i)
                client.sendRequest({{"req_code", 42}});
            QVERIFY(logIn(client, peer, 1002));
            client.logout();
            client.sendMessage(QStringLiteral(R"({"req_code":43})"));
        }
        QVERIFY(logIn(client, peer, 1002));
        client.sendMessage(QStringLiteral(R"({"req_code":44})"));
        QTRY_VERIFY_WITH_TIMEOUT(!peer.receivedFrames().isEmpty() && peer.receivedFrames().last().text.contains("44"), MustHappenMs);

        QHash<int, qint64> loginOf;
        int stale = 0;
        for (const FloodServer::Frame &frame : peer.receivedFrames()) {
            const QJsonObject request = QJsonDocument::fromJson(frame.text.toUtf8()).object();
            const int code = request.value("req_code").toInt();
            if (code == 1)
                loginOf.insert(frame.connection, qint64(request.value("id").toDouble()));
            else if (code == 43 || (code == 42 && loginOf.value(frame.connection) != 1001))
                ++stale;
        }
        QCOMPARE(stale, 0);
        QCOMPARE(loginOf.size(), 11);
    }

    // A reply that the client thread handles while the window stops it (an account switch, a log
    // out, the program's end) is never delivered after the stop returned, nor leaves the client
    // logged in. The program's end waits a bounded time for a thread held up.
    void replyDuringTheStopIsNotDelivered_data()
    {
        QTest::addColumn<QString>("stop");
        QTest::newRow("account switch") << "switch";
        QTest::newRow("log out") << "logout";
        QTest::newRow("program's end") << "shutdown";
    }
    void replyDuringTheStopIsNotDelivered()
    {
        QFETCH(QString, stop);
        Rig r;
        r.server.addAccount(1002, QStringLiteral("pw1002"));
        QVERIFY(r.connectTo());
        const int successes = r.count("loginSuccess");
        std::atomic_bool stopped{false};
        bool loggedInAfterStop = true;
        // The client thread is held in the reply's journal line until the stop has begun (or,
        // for the program's end, has given up), so the second reply is handled meanwhile. The
        // program's end gives up while the thread is still held: had it waited for the thread,
        // it would only have ended once the hold had run out, and with the thread.
        r.onClientLine(QStringLiteral("successfully "), [&] {
            if (stop == "switch")
                r.client.connectToServer(r.server.url().toString(), 1002, QStringLiteral("pw1002"), ServerName);
            else if (stop == "logout")
                r.client.logout();
            else
                QVERIFY(!r.client.shutdown(200));
            loggedInAfterStop = r.client.isLoggedIn();
            stopped = true;
        }, [&] { return stop == "shutdown" ? !stopped : r.client.isLoggedIn(); });
        for (int i = 0; i < 2; ++i)
            r.server.sendText(QStringLiteral(R"({"res_code":1,"state":1,"login":1001,"name":"n","group":"g"})"));
        // Waits as long as this thread takes to run the stop: the client thread stays held.
        QTRY_VERIFY_WITH_TIMEOUT(stopped, 60000);
        QVERIFY(!loggedInAfterStop);
        if (stop == "switch")
            return;
        QTRY_VERIFY_WITH_TIMEOUT(r.client.isFinished(), 60000);
        QCoreApplication::processEvents();
        QCOMPARE(r.count("loginSuccess"), successes);
    }
};

CORVANE_TEST_MAIN(TestTradeClient)
#include "tst_tradeclient.moc"
