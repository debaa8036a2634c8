// The simulated broker as a program, for scripts/run, for trying the terminal by hand and for a
// test whose program must reach a broker that does not share the test's pace.
//   simbroker_server [--host 127.0.0.1] [--port 9001] [--seed 1] [--interval 500]
//                    [--broker-list-port 9000] [--account-service-port 9004] [--events]
//   simbroker_server --flood <kind> [--seconds 20] [--length 16384] [--records 100000] [--host 127.0.0.1] [--port 9001]
//   simbroker_server --paced-reply [--records 100000] [--stop-after-ping] [--host 127.0.0.1] [--port 9001]
// Each service it offers is started in main() below and announces where it listens. With
// --flood only a hostile trade server listens, see runFlood(); with --paced-reply a slow one,
// see runPacedReply(). With --own-process-group, any of them runs in a process group of its own.
#include "accountservice.h"
#include "brokerlistservice.h"
#include "hostilepeers.h"
#include "simmarket.h"
#include "simtradeserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <limits>

#include <unistd.h>

namespace {

const QStringList FloodKinds = {QStringLiteral("long-names"), QStringLiteral("long-descriptions"),
                                QStringLiteral("chart-replies"), QStringLiteral("listed-prices"),
                                QStringLiteral("positions"), QStringLiteral("orders"),
                                QStringLiteral("history"), QStringLiteral("unknown")};
// The kinds that are one large reply of `--records` records rather than a flood of replies.
const QStringList ReplyKinds = {QStringLiteral("positions"), QStringLiteral("orders"), QStringLiteral("history"),
                                QStringLiteral("unknown")};

// Records of the large replies, the newest last. An open position or a pending order carries five
// keys; a closed trade in the history every key the history tables read.
QByteArray openPosition(qint64 i)
{
    return QStringLiteral(R"({"ticket":%1,"symbol":"EURUSD","type":"buy","volume":100,"time":%2})")
        .arg(1000000 + i).arg(1700000000 + i).toUtf8();
}

QByteArray pendingOrder(qint64 i)
{
    return QStringLiteral(R"({"ticket":%1,"symbol":"EURUSD","type":2,"volume":100,"time":%2})")
        .arg(1000000 + i).arg(1700000000 + i).toUtf8();
}

QByteArray closedPosition(qint64 i)
{
    return QStringLiteral(R"({"ticket":%1,"symbol":"EURUSD","type":"%2","time":%3,"digits":5,"volume":2000,)"
                          R"("price_o":1.0812,"price_c":1.0837,"sl":1.079,"tp":1.084,"swap":-0.42,"profit":12.5})")
        .arg(1000000 + i).arg(i % 2 ? "sell" : "buy").arg(1700000000 + i).toUtf8();
}

QByteArray historyOrder(qint64 i)
{
    return QStringLiteral(R"({"ticket":%1,"symbol":"EURUSD","type":%2,"time":%3,"volume":2000,"price":1.08,)"
                          R"("s_price":1.081,"sl":1.079,"tp":1.084,"state":%4,"digits":5})")
        .arg(1000000 + i).arg(i % 8).arg(1700000000 + i).arg(i % 7).toUtf8();
}

QByteArray historyDeal(qint64 i)
{
    return QStringLiteral(R"({"ticket":%1,"order":%1,"symbol":"EURUSD","type":%2,"time":%3,"volume":2000,)"
                          R"("price":1.1,"profit":3.5,"swap":-0.1,"commission":-0.7,"fee":-0.05,"digits":5})")
        .arg(1000000 + i).arg(i % 5).arg(1700000000 + i).toUtf8();
}

// Sends the large reply of `kind`, then `trailer`.
void sendLargeReply(simbroker::FloodServer &server, const QString &kind, qint64 records, const QString &trailer)
{
    const auto joined = [](QByteArray (*record)(qint64)) {
        return [record](qint64 i) { return (i ? QByteArray(",") : QByteArray()) + record(i); };
    };
    if (kind == QLatin1String("positions")) {
        server.sendLargeReply(R"({"res_code":4,"balance":10000,"margin":0,"credit":0,"is_last":1,"array":[)",
                              joined(openPosition), records, "]}", trailer);
    } else if (kind == QLatin1String("orders")) {
        server.sendLargeReply(R"({"res_code":6,"array":[)", joined(pendingOrder), records, "]}", trailer);
    } else if (kind == QLatin1String("unknown")) {
        server.sendLargeReply(R"({"res_code":9,"array":[)", joined(openPosition), records, "]}", trailer);
    } else {
        // The three arrays, `records` each, one after the other.
        server.sendLargeReply(
            R"({"res_code":5,"positions":[)",
            [records](qint64 i) {
                if (i < records)
                    return (i ? QByteArray(",") : QByteArray()) + closedPosition(i);
                if (i < 2 * records)
                    return (i == records ? QByteArray(R"(],"orders":[)") : QByteArray(",")) + historyOrder(i - records);
                return (i == 2 * records ? QByteArray(R"(],"deals":[)") : QByteArray(",")) + historyDeal(i - 2 * records);
            },
            3 * records, "]}", trailer);
    }
}

// A terminal that logs in to this server gets the simulated market's symbol list, then, 2 s
// after it has answered the login (its trade-history request), `seconds` of the flood as fast
// as the connection takes it (or, for the kinds of ReplyKinds, one reply of `records` records),
// then a login reply. It prints each step, and when the terminal's
// answer to that login reply arrived, then ends; it also ends when no login or no answer came
// within 5 minutes.
constexpr int AnswerWaitMs = 5 * 60 * 1000;
constexpr int SettleMs = 2000;

int runFlood(const QHostAddress &host, quint16 port, const QString &kind, int seconds, int length, qint64 records)
{
    QTextStream out(stdout);
    simbroker::FloodServer server;
    if (!server.listen(host, port)) {
        QTextStream(stderr) << "cannot listen on " << host.toString() << ':' << port << '\n';
        return 1;
    }
    out << "Trade server listening on " << server.url().toString() << " (flood " << kind << ")" << Qt::endl;

    simbroker::FloodServer::Plan plan;
    plan.framesPerSecond = std::numeric_limits<int>::max(); // the connection sets the pace
    plan.durationMs = seconds * 1000;
    plan.symbols = std::numeric_limits<int>::max();
    plan.noteSymbols = false;
    if (kind == QLatin1String("long-names")) {
        plan.nameLength = length;
    } else if (kind == QLatin1String("long-descriptions")) {
        plan.resCode = 8;
        plan.listLength = 200;
        plan.descriptionLength = length;
    } else if (kind == QLatin1String("chart-replies")) {
        plan.resCode = 3;
        plan.bars = 50;
    } else {
        plan.names = simbroker::SimMarket().symbols().mid(0, 8);
    }

    const auto requestOf = [](const simbroker::FloodServer::Frame &frame) {
        return QJsonDocument::fromJson(frame.text.toUtf8()).object();
    };
    qint64 endSentNs = 0;
    bool started = false;
    QObject::connect(&server, &simbroker::FloodServer::floodFinished, &server,
                     [&](const simbroker::FloodServer::Report &report) {
                         endSentNs = report.endSentNs;
                         out << "Flood ended: " << report.prices << " replies sent; login reply sent" << Qt::endl;
                         QTimer::singleShot(AnswerWaitMs, &server, [&out] {
                             out << "No answer to the login reply" << Qt::endl;
                             QCoreApplication::quit();
                         });
                     });
    QObject::connect(&server, &simbroker::FloodServer::largeReplySent, &server, [&](qint64 bytes, qint64 startNs, qint64 endNs) {
        endSentNs = endNs;
        out << "Reply of " << QString::number(double(bytes) / 1e6, 'f', 1) << " MB sent in "
            << QString::number((endNs - startNs) * 1e-6, 'f', 1) << " ms; login reply sent" << Qt::endl;
        QTimer::singleShot(AnswerWaitMs, &server, [&out] {
            out << "No answer to the login reply" << Qt::endl;
            QCoreApplication::quit();
        });
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &server, [&] {
        const QList<simbroker::FloodServer::Frame> frames = server.receivedFrames();
        if (!started) {
            qint64 login = 0;
            bool answered = false;
            for (const auto &frame : frames) {
                const QJsonObject request = requestOf(frame);
                const int code = request.value(QLatin1String("req_code")).toInt();
                if (code == 1)
                    login = qint64(request.value(QLatin1String("id")).toDouble());
                answered = answered || code == 5;
            }
            if (!answered)
                return;
            started = true;
            plan.trailer = QStringLiteral(R"({"res_code":1,"state":1,"login":%1,"name":"Flood","group":"demo"})").arg(login);
            server.sendText(QString::fromUtf8(QJsonDocument(QJsonObject{
                {QStringLiteral("res_code"), 8},
                {QStringLiteral("array"), simbroker::SimMarket().symbolListJson()}}).toJson(QJsonDocument::Compact)));
            // The terminal is still busy with its first login for a while (its charts open):
            // a flood, or its absence, then meets a terminal at rest, so the delays compare.
            QTimer::singleShot(SettleMs, &server, [&] {
                if (ReplyKinds.contains(kind)) {
                    out << "Logged in: one reply (" << kind << ") of " << records << " records" << Qt::endl;
                    // A terminal whose keep-alive counts whole replies only (the builds before
                    // bytes still arriving kept a connection) would meet its ping after this
                    // wait's silence and drop a reply that takes a while to read as a silent
                    // server's. A quote just before it, as a live server sends them, keeps the
                    // figures of both kinds of build the reply's own.
                    server.sendText(QStringLiteral(R"({"res_code":2,"symbol":"EURUSD","bid":1.1,"ask":1.1002,"digits":5})"));
                    sendLargeReply(server, kind, records, plan.trailer);
                    return;
                }
                out << "Logged in: flooding (" << kind << ") for " << seconds << " s" << Qt::endl;
                server.startFlood(plan);
            });
            return;
        }
        if (!endSentNs)
            return;
        for (const auto &frame : frames) {
            if (frame.receivedNs > endSentNs && requestOf(frame).value(QLatin1String("req_code")).toInt() == 5) {
                out << "Answer to the login reply after " << QString::number((frame.receivedNs - endSentNs) * 1e-6, 'f', 1)
                    << " ms" << Qt::endl;
                QCoreApplication::quit();
                return;
            }
        }
    });
    poll.start(10);
    QTimer::singleShot(AnswerWaitMs, &server, [&] {
        if (started)
            return;
        out << "No login" << Qt::endl;
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

// A client that logs in gets one trade-history reply of `records` deals, a few every interval as
// a slow link brings them, and its pings are answered only after it; with stopAfterPing the reply
// stops midway once the client's ping has arrived and the server stays silent for good. Each
// line of standard input goes to the logged-in clients as a text frame; the server ends when
// standard input ends (the test that started it has ended, even by a crash).
int runPacedReply(const QHostAddress &host, quint16 port, qint64 records, bool stopAfterPing)
{
    simbroker::FloodServer server;
    if (!server.listen(host, port)) {
        QTextStream(stderr) << "cannot listen on " << host.toString() << ':' << port << '\n';
        return 1;
    }
    QTextStream(stdout) << "Trade server listening on " << server.url().toString() << " (paced reply)" << Qt::endl;
    QTimer login;
    QObject::connect(&login, &QTimer::timeout, &server, [&] {
        if (server.loggedInCount() == 0)
            return;
        login.stop();
        server.sendLargeReply(R"({"res_code":5,"positions":[],"orders":[],"deals":[)",
                              [](qint64 i) { return (i ? QByteArray(",") : QByteArray()) + simbroker::FloodServer::largeHistoryDeal(i); },
                              records, "]}", QString(), {50, 4, stopAfterPing});
    });
    login.start(10);
    QByteArray input;
    QSocketNotifier lines(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&lines, &QSocketNotifier::activated, &server, [&] {
        char buffer[4096];
        const ssize_t size = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (size <= 0) {
            lines.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        input.append(buffer, int(size));
        for (int end; (end = input.indexOf('\n')) >= 0; input.remove(0, end + 1))
            server.sendText(QString::fromUtf8(input.left(end)));
    });
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simbroker_server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated broker on loopback"));
    parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Loopback address every service listens on."),
                                        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Trade-server port (0: any free port)."),
                                        QStringLiteral("port"), QStringLiteral("9001"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the price walk."),
                                        QStringLiteral("seed"), QStringLiteral("1"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
                                            QStringLiteral("Milliseconds between price steps."),
                                            QStringLiteral("ms"), QStringLiteral("500"));
    const QCommandLineOption brokerListOption(QStringLiteral("broker-list-port"),
                                              QStringLiteral("Broker-list web service port (0: any free port)."),
                                              QStringLiteral("port"), QStringLiteral("9000"));
    const QCommandLineOption accountServiceOption(QStringLiteral("account-service-port"),
                                                  QStringLiteral("Account web service port (0: any free port)."),
                                                  QStringLiteral("port"), QStringLiteral("9004"));
    const QCommandLineOption eventsOption(QStringLiteral("events"),
                                          QStringLiteral("Print each request's code and each close code a client sends, one a line "
                                                         "(\"request 4\", \"close 1000\"), and end when standard input ends."));
    const QCommandLineOption floodOption(
        QStringLiteral("flood"),
        QStringLiteral("Instead of the broker, a hostile trade server that accepts any login and floods the terminal: %1.")
            .arg(FloodKinds.join(QStringLiteral(", "))),
        QStringLiteral("kind"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("How long the flood lasts."),
                                           QStringLiteral("seconds"), QStringLiteral("20"));
    const QCommandLineOption lengthOption(QStringLiteral("length"), QStringLiteral("Characters of each long name or description."),
                                          QStringLiteral("characters"), QStringLiteral("16384"));
    const QCommandLineOption recordsOption(QStringLiteral("records"),
                                           QStringLiteral("Records of the one reply of --flood positions, orders, unknown; of each "
                                                          "of its three arrays for --flood history."),
                                           QStringLiteral("count"), QStringLiteral("100000"));
    const QCommandLineOption pacedOption(
        QStringLiteral("paced-reply"),
        QStringLiteral("Instead of the broker, a trade server that accepts any login and answers it with one trade history of "
                       "--records deals, 4 every 50 ms, answering pings only after it; each line of standard input is sent "
                       "as a text frame, and the server ends when standard input ends."));
    const QCommandLineOption stopAfterPingOption(QStringLiteral("stop-after-ping"),
                                                 QStringLiteral("The paced reply stops midway once the client's ping has arrived."));
    const QCommandLineOption groupOption(
        QStringLiteral("own-process-group"),
        QStringLiteral("Run in a process group of its own: a stop sent to the group that started it leaves it running."));
    parser.addOptions({hostOption, portOption, seedOption, intervalOption, brokerListOption, accountServiceOption, eventsOption,
                       floodOption, secondsOption, lengthOption, recordsOption, pacedOption, stopAfterPingOption, groupOption});
    parser.process(app);
    // A test stops its own process group to stall as a busy machine stalls it; a broker on another
    // machine runs on meanwhile, and so does this one.
    if (parser.isSet(groupOption))
        ::setpgid(0, 0);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool ok = false;
    const QHostAddress host(parser.value(hostOption));
    if (!host.isLoopback()) {
        err << "invalid --host (a loopback address): " << parser.value(hostOption) << '\n';
        return 2;
    }
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        err << "invalid --port: " << parser.value(portOption) << '\n';
        return 2;
    }
    const uint brokerListPort = parser.value(brokerListOption).toUInt(&ok);
    if (!ok || brokerListPort > 65535) {
        err << "invalid --broker-list-port: " << parser.value(brokerListOption) << '\n';
        return 2;
    }
    const uint accountServicePort = parser.value(accountServiceOption).toUInt(&ok);
    if (!ok || accountServicePort > 65535) {
        err << "invalid --account-service-port: " << parser.value(accountServiceOption) << '\n';
        return 2;
    }
    if (parser.isSet(floodOption)) {
        const QString kind = parser.value(floodOption);
        const int seconds = parser.value(secondsOption).toInt(&ok);
        if (!FloodKinds.contains(kind) || !ok || seconds < 0 || seconds > 3600) {
            err << "invalid --flood or --seconds: " << kind << ' ' << parser.value(secondsOption) << '\n';
            return 2;
        }
        const int length = parser.value(lengthOption).toInt(&ok);
        if (!ok || length < 1 || length > (1 << 24)) {
            err << "invalid --length: " << parser.value(lengthOption) << '\n';
            return 2;
        }
        const qint64 records = parser.value(recordsOption).toLongLong(&ok);
        if (!ok || records < 1 || records > 100000000) {
            err << "invalid --records: " << parser.value(recordsOption) << '\n';
            return 2;
        }
        return runFlood(host, quint16(port), kind, seconds, length, records);
    }
    if (parser.isSet(pacedOption)) {
        const qint64 records = parser.value(recordsOption).toLongLong(&ok);
        if (!ok || records < 1 || records > 100000000) {
            err << "invalid --records: " << parser.value(recordsOption) << '\n';
            return 2;
        }
        return runPacedReply(host, quint16(port), records, parser.isSet(stopAfterPingOption));
    }
    const uint seed = parser.value(seedOption).toUInt(&ok);
    if (!ok) {
        err << "invalid --seed: " << parser.value(seedOption) << '\n';
        return 2;
    }
    const int interval = parser.value(intervalOption).toInt(&ok);
    if (!ok || interval <= 0) {
        err << "invalid --interval: " << parser.value(intervalOption) << '\n';
        return 2;
    }

    // The trade server.
    simbroker::SimTradeServer tradeServer;
    tradeServer.setSeed(seed);
    tradeServer.addDemoAccounts();
    if (!tradeServer.listen(host, quint16(port))) {
        err << "cannot listen on " << host.toString() << ':' << port << '\n';
        return 1;
    }
    tradeServer.startPriceStream(interval);
    out << "Trade server listening on " << tradeServer.url().toString() << " (seed " << seed << ")\n";

    // The broker list naming the trade servers. Further services start here, each on its own port.
    BrokerListService brokerList;
    if (!brokerList.listen(host, quint16(brokerListPort))) {
        err << "cannot listen on " << host.toString() << ':' << brokerListPort << '\n';
        return 1;
    }
    out << "Broker list at " << brokerList.brokersUrl().toString() << '\n';

    // Demo sign-up and password changes, on the trade server's host.
    simbroker::AccountService accountService(&tradeServer);
    if (!accountService.listen(host, quint16(accountServicePort))) {
        err << "cannot listen on " << host.toString() << ':' << accountServicePort << '\n';
        return 1;
    }
    out << "Account service at http://" << host.toString() << ':' << accountService.serverPort() << "/account/\n";

    out << "Accounts: 1001/demo1001, 1002/demo1002, 2001/trader2001, 3000000001/demo3000000001\n";
    out.flush();

    // For a test that follows the session from its own process: it reads these lines as they come,
    // and its end (even a crash) closes the pipe to standard input, which ends the broker too.
    if (parser.isSet(eventsOption)) {
        QObject::connect(&tradeServer, &simbroker::SimTradeServer::frameReceived, [&out](int, const QString &, const QJsonObject &request) {
            if (request.contains(QStringLiteral("req_code")))
                out << "request " << request.value(QStringLiteral("req_code")).toInt() << Qt::endl;
        });
        QObject::connect(&tradeServer, &simbroker::SimTradeServer::clientCloseFrame,
                         [&out](int, int code) { out << "close " << code << Qt::endl; });
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, [input] {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                input->setEnabled(false);
                QCoreApplication::quit();
            }
        });
    }
    return app.exec();
}
