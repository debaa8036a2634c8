// The trade-server client's receive path and send path, over loopback against the simulated
// broker, with baselines measured in the same run:
// - BM_ClientDispatch: what the client thread spends per price frame, in bare parses of the same
//   frames. Each iteration sends a burst of price frames, held at the relay until all of it is
//   there and then released at once, closed by one trade result, and takes the processor time of
//   the client thread from the release to the closing trade result, per frame sent: reading,
//   WebSocket decoding, parsing, classifying, the outbox and handing it over. The same iteration
//   then parses the same burst with QJsonDocument::fromJson in a thread of its own while this
//   thread waits in its event loop, as it does for the client, and takes that thread's processor
//   time. The threads' own clocks, so neither another program nor the other threads of this one
//   count (the window thread's side of the hop, how often it wakes, depends on how the two
//   threads happen to meet and made the figure jump between runs); the ratio is taken per
//   iteration, so both meet the same moment of the machine; a run (a connection of its own)
//   reports the median of its iterations; the printed ratio is the median of several runs, with
//   their spread. The time shown per iteration is the clock's, from the first price emitted in
//   the client object's thread to the trade result. Quotes that a newer one of their symbol
//   replaced while waiting are counted as sent, not as delivered.
// - BM_PriceFlood: 200,000 price frames a second for 10 s from a server in its own thread, to a
//   receiver that spends 10 us on each quote (about the whole window's pace), so the client
//   object's thread is behind. Reports the frames sent and delivered, the peak resident memory
//   during the flood against the resident memory before it, and the delay of a trade result
//   sent after the flood against the same delay with no flood before it.
// - BM_DeafServer, BM_SnapshotFlood, BM_LargeReply: the client against a hostile server, each
//   run twice, as the client was before its bounds and as it is, with the peak resident memory
//   added and the longest pause of this thread's event loop (a 1 ms timer) in each:
//   a server that stops reading while the window sends 64 KiB requests every millisecond for
//   2 s, with the send limit off and at its default; 400 replies a second for 2 s of 100 KiB
//   each to a window that spends 10 ms on each, as chart-history replies each answering a
//   request, with the reply limit (and with it the backlog of such replies) raised to 1 GiB, so
//   each is delivered, as every reply was before, and as trade-history replies (a newer one
//   replaces a waiting one);
//   one 210 MB trade-history reply of 800,000 deals, that the window walks, with the reply
//   limit raised to 1 GiB and at its default.
// - BM_SymbolListFlood: 40,000 symbol lists naming one new symbol each, while the window takes
//   nothing until the client thread has read them all (the lists are then gathered into one).
//   Takes the processor time of the client thread from the first list to the login reply sent
//   after the flood, per list, against a bare parse of the same lists in a thread of its own.
//   A merge that copied what was gathered before would grow with the lists: its ratio with them.
// - BM_SendRequestToWire: from TradeClient::sendRequest to the frame at the server.
// - BM_RawSendToWire: a bare QWebSocket sending the same text to the same server.
// The ratios printed at the end are what matters: dispatch over parse is the client thread's cost
// per frame in bare parses, symbol-list flood over parse the same for the gathered lists, request
// over raw send is the cost of the queue and its 5 ms send tick.
#include "hostilepeers.h"
#include "logger.h"
#include "residentmemory.h"
#include "simtradeserver.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QThread>
#include <QVector>
#include <QWebSocket>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Burst = 4000;
// Runs of the dispatch measure whose median is the printed ratio.
constexpr int DispatchRuns = 9;
// Unmeasured bursts on each run's new connection before its measure.
constexpr int SettlingBursts = 5;
constexpr qint64 Login = 1001;

const QVector<QString> &frames()
{
    static const QVector<QString> all = [] {
        simbroker::SimMarket market;
        QVector<QString> result;
        while (result.size() < Burst) {
            market.step();
            for (const QString &symbol : market.symbols()) {
                if (result.size() < Burst)
                    result.append(QString::fromUtf8(QJsonDocument(market.tickJson(symbol)).toJson(QJsonDocument::Compact)));
            }
        }
        return result;
    }();
    return all;
}

// Runs the event loop of this thread until done() holds or the time runs out.
template <typename Done>
bool spinUntil(Done done, int timeoutMs = 10000)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(0);
    if (!done())
        loop.exec();
    return done();
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The processor time of a thread (by its own clock) or of the process: unlike the time on the
// clock, it does not grow while another thread or program has the processor.
qint64 cpuNs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Runs the event loop of this thread until it has had nothing to do for quietMs (or the time
// runs out): what the server sent has then all been moved to where it goes.
void spinUntilQuiet(int quietMs = 10, int timeoutMs = 5000)
{
    int wakes = 0;
    QEventLoop loop;
    const QMetaObject::Connection counting =
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &loop, [&wakes] { ++wakes; });
    QTimer check;
    int seen = 0;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        // The check's own wake-up, and one spare: anything more was work.
        if (wakes - seen <= 2)
            loop.quit();
        seen = wakes;
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(quietMs);
    loop.exec();
    QObject::disconnect(counting);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Parses bursts in a thread of its own, as the client thread does, while the calling thread
// waits in its event loop, as the client object's thread does.
class ParseThread
{
public:
    ParseThread()
    {
        worker.moveToThread(&thread);
        thread.start();
    }
    ~ParseThread()
    {
        thread.quit();
        thread.wait();
    }
    // The processor time of the parsing thread over the burst, per frame.
    double cpuNsPerFrame(const QVector<QString> &texts)
    {
        std::atomic<qint64> spentNs{-1};
        QMetaObject::invokeMethod(&worker, [&texts, &spentNs] {
            const qint64 start = cpuNs(CLOCK_THREAD_CPUTIME_ID);
            for (const QString &text : texts)
                benchmark::DoNotOptimize(QJsonDocument::fromJson(text.toUtf8()).object());
            spentNs = cpuNs(CLOCK_THREAD_CPUTIME_ID) - start;
        }, Qt::QueuedConnection);
        if (!spinUntil([&spentNs] { return spentNs.load() >= 0; }))
            qFatal("the parse thread did not answer");
        return double(spentNs.load()) / texts.size();
    }

private:
    QThread thread;
    QObject worker;
};


struct Rig
{
    simbroker::SimTradeServer server;
    TradeClient client;
    std::atomic<int> dispatched{0};
    std::atomic<qint64> firstNs{0};
    std::atomic<qint64> endNs{0};
    std::atomic<qint64> endCpuNs{0};
    // The client thread's own processor clock, taken in that thread as it starts.
    std::atomic<clockid_t> clientClock{CLOCK_PROCESS_CPUTIME_ID};

    Rig()
    {
        server.addAccount(Login, QStringLiteral("bench"));
        server.setLoginSnapshot(false);
        if (!server.listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen");
        // Counted where the signal is emitted, so the figure is the client's own pace including
        // the hop that carries each reply out of its thread.
        QObject::connect(&client, &TradeClient::symbolPriceReceived, &client,
                         [this](const QJsonObject &) {
                             if (dispatched.fetch_add(1) == 0)
                                 firstNs = steadyNs();
                         },
                         Qt::DirectConnection);
        QObject::connect(&client, &TradeClient::tradeResponseReceived, &client,
                         [this](const QJsonObject &) {
                             endCpuNs = cpuNs(clientClock);
                             endNs = steadyNs();
                         },
                         Qt::DirectConnection);
        QObject::connect(&client, &QThread::started, &client, [this] {
            clockid_t clock;
            if (pthread_getcpuclockid(pthread_self(), &clock) == 0)
                clientClock = clock;
        }, Qt::DirectConnection);
        client.connectToServer(server.url().toString(), Login, QStringLiteral("bench"), QStringLiteral("bench"));
        if (!spinUntil([this] { return client.isLoggedIn(); }))
            qFatal("no login");
    }
    ~Rig() { client.shutdown(1000); }
};

Rig &rig()
{
    static Rig r;
    return r;
}

void BM_ClientDispatch(benchmark::State &state)
{
    // A connection of its own for each run, settled by a few bursts before the measure: a fresh
    // connection reads in smaller pieces at first, so the runs sample several settled ones.
    Rig r;
    static ParseThread parser;
    const auto &all = frames();
    const QString end = QStringLiteral(R"({"res_code":7,"status":10009,"msg":"Done","type":0})");
    // One burst; the processor time of the client thread from its release to the trade result.
    const auto burst = [&] {
        r.dispatched = 0;
        r.endNs = 0;
        // Held at the relay until the whole burst is there, then released at once: the client
        // reads as fast as it can, and nothing of the burst still comes from the server.
        r.server.setFrozen(true);
        for (const QString &frame : all)
            r.server.sendText(frame);
        r.server.sendText(end);
        spinUntilQuiet();
        const qint64 cpuStart = cpuNs(r.clientClock);
        r.server.setFrozen(false);
        const bool ended = spinUntil([&r] { return r.endNs.load() != 0; });
        return ended ? r.endCpuNs - cpuStart : qint64(-1);
    };
    for (int i = 0; i < SettlingBursts; ++i)
        burst();
    qint64 delivered = 0;
    std::vector<double> dispatchNs, parseNs, ratios;
    for (auto _ : state) {
        const qint64 spent = burst();
        if (spent < 0) {
            state.SkipWithError("frames lost");
            break;
        }
        state.SetIterationTime(double(r.endNs - r.firstNs) * 1e-9 * Burst / (Burst - 1));
        delivered += r.dispatched.load();
        dispatchNs.push_back(double(spent) / Burst);
        parseNs.push_back(parser.cpuNsPerFrame(all));
        ratios.push_back(dispatchNs.back() / parseNs.back());
    }
    state.counters["delivered"] = benchmark::Counter(double(delivered) / double(state.iterations()));
    state.counters["dispatch_cpu_ns"] = median(dispatchNs);
    state.counters["parse_cpu_ns"] = median(parseNs);
    state.counters["ratio"] = median(ratios);
    state.SetItemsProcessed(state.iterations() * Burst);
    state.counters["frames"] = Burst;
}

constexpr int SymbolLists = 40000;

// One flood of symbol lists naming one new symbol each against a fresh client: the processor
// time of the client thread per list, and how many symbols the window got.
struct SymbolListFigures
{
    double cpuNsPerList = -1;
    qint64 symbols = 0;
};

SymbolListFigures symbolListFlood()
{
    simbroker::FloodServer server;
    if (!server.listen())
        qFatal("cannot listen");
    TradeClient client;
    std::atomic<clockid_t> clientClock{CLOCK_PROCESS_CPUTIME_ID};
    QObject::connect(&client, &QThread::started, &client, [&clientClock] {
        clockid_t clock;
        if (pthread_getcpuclockid(pthread_self(), &clock) == 0)
            clientClock = clock;
    }, Qt::DirectConnection);
    SymbolListFigures figures;
    int logins = 0;
    QObject::connect(&client, &TradeClient::loginSuccess, &client, [&logins] { ++logins; });
    QObject::connect(&client, &TradeClient::symbolListReceived, &client, [&](const QJsonObject &list) {
        figures.symbols += list.value(QLatin1String("array")).toArray().size();
    });
    client.connectToServer(server.url().toString(), Login, QStringLiteral("bench"), QStringLiteral("bench"));
    if (!spinUntil([&logins] { return logins == 1; }))
        qFatal("no login");
    // The login reply after the flood: its journal line is written in the client thread once
    // every list before it has been handled.
    std::atomic<qint64> endCpuNs{-1};
    QObject guard;
    QObject::connect(Logger::instance(), &Logger::logMessage, &guard,
                     [&](const QDateTime &, const QString &, const QString &message) {
                         if (QThread::currentThread() == &client && message.endsWith(QLatin1String("successfully ")))
                             endCpuNs = cpuNs(CLOCK_THREAD_CPUTIME_ID);
                     },
                     Qt::DirectConnection);
    simbroker::FloodServer::Plan plan;
    plan.resCode = 8;
    plan.replies = SymbolLists;
    plan.symbols = SymbolLists;
    plan.trailer = QStringLiteral(R"({"res_code":1,"state":1,"login":1001,"name":"end","group":"g"})");
    const qint64 startCpuNs = cpuNs(clientClock);
    server.startFlood(plan);
    // The window is busy meanwhile: it takes nothing until the client thread is through.
    for (const QDeadlineTimer deadline(600000); endCpuNs.load() < 0 && !deadline.hasExpired();)
        QThread::yieldCurrentThread();
    if (endCpuNs.load() < 0 || !spinUntil([&logins] { return logins == 2; }))
        return figures;
    figures.cpuNsPerList = double(endCpuNs.load() - startCpuNs) / SymbolLists;
    client.shutdown(1000);
    return figures;
}

// The lists as the flood server writes them.
const QVector<QString> &symbolLists()
{
    static const QVector<QString> all = [] {
        QVector<QString> result;
        for (int seq = 0; seq < SymbolLists; ++seq) {
            const QString symbol = simbroker::FloodServer::symbolName(seq);
            result.append(QStringLiteral(R"({"res_code":8,"is_last":1,"array":[{"symbol":"%1","seq":%2,"c_size":%2}],"symbol":"%1","seq":%2,"pad":""})")
                              .arg(symbol).arg(seq));
        }
        return result;
    }();
    return all;
}

void BM_SymbolListFlood(benchmark::State &state)
{
    static ParseThread parser;
    std::vector<double> clientNs, parseNs, ratios;
    for (auto _ : state) {
        const SymbolListFigures figures = symbolListFlood();
        if (figures.cpuNsPerList < 0 || figures.symbols != SymbolLists) {
            state.SkipWithError("lists lost");
            break;
        }
        clientNs.push_back(figures.cpuNsPerList);
        parseNs.push_back(parser.cpuNsPerFrame(symbolLists()));
        ratios.push_back(clientNs.back() / parseNs.back());
        state.SetIterationTime(clientNs.back() * 1e-9 * SymbolLists);
    }
    state.counters["client_cpu_ns"] = median(clientNs);
    state.counters["parse_cpu_ns"] = median(parseNs);
    state.counters["ratio"] = median(ratios);
    state.counters["lists"] = SymbolLists;
}

void BM_SendRequestToWire(benchmark::State &state)
{
    Rig &r = rig();
    const QJsonObject request = TradeMessages::chartHistoryRequest(QStringLiteral("NOSUCH"), 1, 0, -1);
    for (auto _ : state) {
        const int before = r.server.receivedFrames().size();
        r.client.sendRequest(request);
        if (!spinUntil([&] { return r.server.receivedFrames().size() > before; }))
            state.SkipWithError("request lost");
    }
    r.server.clearReceivedFrames();
    state.counters["frames"] = 1;
}

void BM_RawSendToWire(benchmark::State &state)
{
    Rig &r = rig();
    QWebSocket socket;
    socket.open(r.server.url());
    if (!spinUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        state.SkipWithError("no connection");
    QJsonObject request = TradeMessages::chartHistoryRequest(QStringLiteral("NOSUCH"), 1, 0, -1);
    request.insert(QStringLiteral("login"), Login);
    const QString text = QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact));
    for (auto _ : state) {
        const int before = r.server.receivedFrames().size();
        socket.sendTextMessage(text);
        if (!spinUntil([&] { return r.server.receivedFrames().size() > before; }))
            state.SkipWithError("frame lost");
    }
    r.server.clearReceivedFrames();
    state.counters["frames"] = 1;
}

struct FloodFigures
{
    qint64 sent = 0;
    qint64 delivered = 0;
    double seconds = 0;
    qint64 residentBeforeKb = 0;
    qint64 peakKb = 0;
    double replyDelayMs = 0;
};

// One flood against a fresh client; a duration of 0 sends only the closing trade result.
FloodFigures flood(int framesPerSecond, int durationMs)
{
    simbroker::FloodServer server;
    if (!server.listen())
        qFatal("cannot listen");
    TradeClient client;
    FloodFigures figures;
    std::atomic<qint64> endNs{0};
    QObject::connect(&client, &TradeClient::symbolPriceReceived, &client, [&](const QJsonObject &) {
        ++figures.delivered;
        QElapsedTimer busy;
        busy.start();
        while (busy.nsecsElapsed() < 10000) {
        }
    });
    QObject::connect(&client, &TradeClient::tradeResponseReceived, &client,
                     [&](const QJsonObject &result) {
                         if (result.value(QLatin1String("marker")).toString() == QLatin1String("end"))
                             endNs = steadyNs();
                     });
    simbroker::FloodServer::Report report;
    bool finished = false;
    QObject::connect(&server, &simbroker::FloodServer::floodFinished, &server,
                     [&](const simbroker::FloodServer::Report &r) {
                         report = r;
                         finished = true;
                     });
    client.connectToServer(server.url().toString(), Login, QStringLiteral("bench"), QStringLiteral("bench"));
    if (!spinUntil([&] { return client.isLoggedIn(); }))
        qFatal("no login");
    figures.residentBeforeKb = ResidentMemory::kib("VmRSS:");
    if (!ResidentMemory::resetPeak())
        qWarning("cannot reset the peak resident memory");
    const qint64 startNs = steadyNs();
    simbroker::FloodServer::Plan plan;
    plan.framesPerSecond = framesPerSecond;
    plan.durationMs = durationMs;
    plan.symbols = 40;
    server.startFlood(plan);
    if (!spinUntil([&] { return finished && endNs.load() != 0; }, durationMs + 60000))
        qFatal("the flood did not end");
    figures.peakKb = ResidentMemory::kib("VmHWM:");
    figures.sent = report.prices;
    figures.seconds = double(report.endSentNs - startNs) * 1e-9;
    figures.replyDelayMs = double(endNs.load() - report.endSentNs) * 1e-6;
    client.shutdown(1000);
    return figures;
}

// The longest time this thread's event loop went without running a 1 ms timer.
class PauseMeter
{
public:
    PauseMeter()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longestNs = qMax(longestNs, now - lastNs);
            lastNs = now;
        });
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(1);
        clock.start();
    }
    double longestMs() const { return double(qMax(longestNs, clock.nsecsElapsed() - lastNs)) * 1e-6; }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    qint64 longestNs = 0;
};

struct HostileFigures
{
    double peakGrowthMb = 0;
    double longestPauseMs = 0;
};

// A fresh client logged in to a fresh flood server; the figures start when `start` runs and end
// when `done` holds.
template <typename Setup, typename Start, typename Done>
HostileFigures againstHostileServer(Setup setup, Start start, Done done, int timeoutMs)
{
    simbroker::FloodServer server;
    if (!server.listen())
        qFatal("cannot listen");
    TradeClient client;
    setup(client);
    client.connectToServer(server.url().toString(), Login, QStringLiteral("bench"), QStringLiteral("bench"));
    if (!spinUntil([&] { return client.isLoggedIn(); }))
        qFatal("no login");
    const qint64 residentBeforeKb = ResidentMemory::kib("VmRSS:");
    if (!ResidentMemory::resetPeak())
        qWarning("cannot reset the peak resident memory");
    HostileFigures figures;
    {
        PauseMeter meter;
        start(server, client);
        if (!spinUntil(done, timeoutMs))
            qWarning("a hostile server's run did not end in time");
        figures.longestPauseMs = meter.longestMs();
    }
    figures.peakGrowthMb = double(ResidentMemory::kib("VmHWM:") - residentBeforeKb) / 1024;
    client.shutdown(1000);
    return figures;
}

HostileFigures deafServer(qint64 sendLimit)
{
    const QString request = QStringLiteral(R"({"req_code":42,"pad":"%1"})").arg(QString(64 * 1024, QLatin1Char('x')));
    QTimer sender;
    QElapsedTimer sending;
    return againstHostileServer([&](TradeClient &client) { client.setSendLimit(sendLimit); },
                                [&](simbroker::FloodServer &server, TradeClient &client) {
                                    server.stopReading();
                                    QObject::connect(&sender, &QTimer::timeout, [&client, &request] { client.sendMessage(request); });
                                    sender.start(1);
                                    sending.start();
                                },
                                [&] { return sending.elapsed() >= 2000; }, 10000);
}

HostileFigures snapshotFlood(int resCode)
{
    std::atomic<bool> ended{false};
    const auto window = [](const QJsonObject &) {
        QElapsedTimer busy;
        busy.start();
        while (busy.nsecsElapsed() < 10000000) {
        }
    };
    return againstHostileServer(
        [&](TradeClient &client) {
            if (resCode == 3)
                client.setReplyLimit(qint64(1) << 30);
            QObject::connect(&client, &TradeClient::chartHistoryReceived, &client, window);
            QObject::connect(&client, &TradeClient::tradeHistoryReceived, &client, window);
            QObject::connect(&client, &TradeClient::tradeResponseReceived, &client, [&](const QJsonObject &) { ended = true; });
        },
        [&](simbroker::FloodServer &server, TradeClient &client) {
            if (resCode == 3) {
                // The flood's replies name FLOOD00 and no interval: each answers one of these.
                constexpr int asked = 1000;
                const int before = server.receivedFrames().size();
                for (int i = 0; i < asked; ++i)
                    client.sendRequest(TradeMessages::chartHistoryRequest(simbroker::FloodServer::symbolName(0), 0, 0, -1));
                if (!spinUntil([&] { return server.receivedFrames().size() >= before + asked; }))
                    qFatal("the chart-history requests did not arrive");
            }
            simbroker::FloodServer::Plan plan;
            plan.framesPerSecond = 400;
            plan.durationMs = 2000;
            plan.symbols = 1;
            plan.resCode = resCode;
            plan.padding = 100 * 1024;
            server.startFlood(plan);
        },
        [&] { return ended.load(); }, 120000);
}

HostileFigures largeReply(qint64 replyLimit)
{
    bool over = false;
    return againstHostileServer(
        [&](TradeClient &client) {
            client.setReplyLimit(replyLimit);
            QObject::connect(&client, &TradeClient::websocketDisconnected, &client, [&] { over = true; });
            QObject::connect(&client, &TradeClient::tradeHistoryReceived, &client, [&](const QJsonObject &reply) {
                double profit = 0;
                for (const QJsonValue deal : reply.value(QLatin1String("deals")).toArray())
                    profit += deal.toObject().value(QLatin1String("profit")).toDouble();
                benchmark::DoNotOptimize(profit);
                over = true;
            });
        },
        [](simbroker::FloodServer &server, TradeClient &) { server.sendLargeHistory(800000); },
        [&] { return over; }, 120000);
}

// Before and after, each run in this process one after the other.
void reportHostile(benchmark::State &state, const HostileFigures &before, const HostileFigures &after)
{
    state.counters["before_peak_MB"] = before.peakGrowthMb;
    state.counters["after_peak_MB"] = after.peakGrowthMb;
    state.counters["before_pause_ms"] = before.longestPauseMs;
    state.counters["after_pause_ms"] = after.longestPauseMs;
    state.SetIterationTime(1);
}

void BM_DeafServer(benchmark::State &state)
{
    for (auto _ : state)
        reportHostile(state, deafServer(std::numeric_limits<qint64>::max()), deafServer(TradeClient::DefaultSendLimit));
}

void BM_SnapshotFlood(benchmark::State &state)
{
    for (auto _ : state)
        reportHostile(state, snapshotFlood(3), snapshotFlood(5));
}

void BM_LargeReply(benchmark::State &state)
{
    for (auto _ : state)
        reportHostile(state, largeReply(qint64(1) << 30), largeReply(TradeClient::DefaultReplyLimit));
}

void BM_PriceFlood(benchmark::State &state)
{
    for (auto _ : state) {
        const FloodFigures idle = flood(0, 0);
        const FloodFigures full = flood(200000, 10000);
        state.SetIterationTime(full.seconds);
        state.counters["sent_per_s"] = double(full.sent) / full.seconds;
        state.counters["delivered"] = double(full.delivered);
        state.counters["rss_before_MB"] = double(full.residentBeforeKb) / 1024;
        state.counters["peak_rss_MB"] = double(full.peakKb) / 1024;
        state.counters["reply_ms"] = full.replyDelayMs;
        state.counters["idle_reply_ms"] = idle.replyDelayMs;
    }
}

// Keeps the time per frame of every run so the ratios come from this one run.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0 || run.error_occurred)
                continue;
            const auto frames = run.counters.find("frames");
            const double perIteration = frames == run.counters.end() ? 1.0 : double(frames->second);
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            perFrame[run.benchmark_name()] = seconds / perIteration;
            if (run.benchmark_name().rfind("BM_PriceFlood", 0) == 0)
                floodCounters = run.counters;
            if (run.benchmark_name().rfind("BM_ClientDispatch", 0) == 0)
                dispatchRuns.push_back(run.counters);
            if (run.benchmark_name().rfind("BM_SymbolListFlood", 0) == 0)
                symbolListCounters = run.counters;
            if (run.counters.count("before_peak_MB"))
                hostileCounters[run.benchmark_name().substr(3, run.benchmark_name().find('/') - 3)] = run.counters;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        for (const auto &entry : hostileCounters) {
            const auto c = [&entry](const char *name) { return double(entry.second.at(name)); };
            std::printf("RATIO %s: peak memory added, now / before: %.3f (%.1f MB against %.1f MB)\n", entry.first.c_str(),
                        c("after_peak_MB") / qMax(0.1, c("before_peak_MB")), c("after_peak_MB"), c("before_peak_MB"));
            std::printf("RATIO %s: longest event-loop pause, now / before: %.3f (%.1f ms against %.1f ms)\n",
                        entry.first.c_str(), c("after_pause_ms") / c("before_pause_ms"), c("after_pause_ms"),
                        c("before_pause_ms"));
        }
        std::printf("\nRatios from this run:\n");
        printDispatchRatio();
        if (!symbolListCounters.empty()) {
            const auto c = [this](const char *name) { return double(symbolListCounters.at(name)); };
            const char *what = "symbol-list flood / bare parse, per list";
            std::printf("  %-45s %7.2f (%.0f lists, %.0f ns against %.0f ns of processor time)\n", what, c("ratio"),
                        c("lists"), c("client_cpu_ns"), c("parse_cpu_ns"));
            std::printf("RATIO %s: %.2f\n", what, c("ratio"));
        }
        ratio("sendRequest to wire / raw send to wire", "BM_SendRequestToWire", "BM_RawSendToWire");
        if (!floodCounters.empty()) {
            const auto c = [this](const char *name) { return double(floodCounters.at(name)); };
            std::printf("  %-45s %7.0f frames/s, %.0f of them delivered\n", "price flood, sent",
                        c("sent_per_s"), c("delivered"));
            std::printf("  %-45s %7.2f (%.0f MB against %.0f MB)\n", "flood: peak resident / resident before",
                        c("peak_rss_MB") / c("rss_before_MB"), c("peak_rss_MB"), c("rss_before_MB"));
            std::printf("  %-45s %7.1f (%.1f ms against %.2f ms)\n", "flood: reply delay / delay without flood",
                        c("reply_ms") / c("idle_reply_ms"), c("reply_ms"), c("idle_reply_ms"));
            std::printf("RATIO flood: peak resident / resident before: %.2f (%.0f MB)\n",
                        c("peak_rss_MB") / c("rss_before_MB"), c("peak_rss_MB"));
            std::printf("RATIO flood: reply delay / delay without flood: %.1f (%.1f ms)\n",
                        c("reply_ms") / c("idle_reply_ms"), c("reply_ms"));
        }
    }

private:
    // The median of the runs, each itself the median of its iterations, and how far the runs lie
    // from it.
    void printDispatchRatio() const
    {
        std::vector<double> ratios, dispatch, parse;
        for (const benchmark::UserCounters &counters : dispatchRuns) {
            ratios.push_back(counters.at("ratio"));
            dispatch.push_back(counters.at("dispatch_cpu_ns"));
            parse.push_back(counters.at("parse_cpu_ns"));
        }
        if (ratios.empty())
            return;
        const double middle = median(ratios);
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        const char *what = "client dispatch / bare parse, per frame";
        std::printf("  %-45s %7.2f (median of %zu runs, from %+.0f %% to %+.0f %%; %.0f ns against %.0f ns of processor time)\n", what,
                    middle, ratios.size(), (*low / middle - 1) * 100, (*high / middle - 1) * 100, median(dispatch),
                    median(parse));
        std::printf("RATIO %s: %.2f\n", what, middle);
    }

    // Runs are named after their function plus options ("BM_X/min_time:1.000/real_time").
    double find(const std::string &function) const
    {
        for (const auto &entry : perFrame) {
            if (entry.first == function || entry.first.rfind(function + "/", 0) == 0)
                return entry.second;
        }
        return 0.0;
    }
    void ratio(const char *what, const std::string &a, const std::string &b) const
    {
        const double x = find(a);
        const double y = find(b);
        if (x > 0 && y > 0)
        {
            std::printf("  %-45s %7.2f\n", what, x / y);
            std::printf("RATIO %s: %.2f\n", what, x / y);
        }
    }

    std::map<std::string, double> perFrame;
    std::vector<benchmark::UserCounters> dispatchRuns;
    benchmark::UserCounters floodCounters;
    benchmark::UserCounters symbolListCounters;
    std::map<std::string, benchmark::UserCounters> hostileCounters;
};

} // namespace

BENCHMARK(BM_ClientDispatch)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(DispatchRuns)->ReportAggregatesOnly(false);
BENCHMARK(BM_SymbolListFlood)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SendRequestToWire)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(BM_RawSendToWire)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(BM_PriceFlood)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_DeafServer)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_SnapshotFlood)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_LargeReply)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
