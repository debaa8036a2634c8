// The simulated broker as a program, for scripts/run, for trying the terminal by hand and for a
// test whose program must reach a broker that does not share the test's pace.
//   simbroker_server [--host 127.0.0.1] [--port 9001] [--seed 1] [--interval 500]
//                    [--broker-list-port 9000] [--account-service-port 9004] [--events]
// Each service it offers is started in main() below and announces where it listens.
#include "accountservice.h"
#include "brokerlistservice.h"
#include "simtradeserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

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
    parser.addOptions({hostOption, portOption, seedOption, intervalOption, brokerListOption, accountServiceOption, eventsOption});
    parser.process(app);

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
