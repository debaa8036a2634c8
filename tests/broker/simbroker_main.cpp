// The simulated broker as a program, for scripts/run and for trying the terminal by hand.
//   simbroker_server [--port 9001] [--seed 1] [--interval 500] [--broker-list-port 9000]
//                    [--account-service-port 9004]
// Each service it offers is started in main() below and announces where it listens.
#include "accountservice.h"
#include "brokerlistservice.h"
#include "simtradeserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simbroker_server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated broker on loopback"));
    parser.addHelpOption();
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
    parser.addOptions({portOption, seedOption, intervalOption, brokerListOption, accountServiceOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool ok = false;
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
    if (!tradeServer.listen(QHostAddress::LocalHost, quint16(port))) {
        err << "cannot listen on 127.0.0.1:" << port << '\n';
        return 1;
    }
    tradeServer.startPriceStream(interval);
    out << "Trade server listening on " << tradeServer.url().toString() << " (seed " << seed << ")\n";

    // The broker list naming the trade servers. Further services start here, each on its own port.
    BrokerListService brokerList;
    if (!brokerList.listen(QHostAddress::LocalHost, quint16(brokerListPort))) {
        err << "cannot listen on 127.0.0.1:" << brokerListPort << '\n';
        return 1;
    }
    out << "Broker list at " << brokerList.brokersUrl().toString() << '\n';

    // Demo sign-up and password changes, on the trade server's host.
    simbroker::AccountService accountService(&tradeServer);
    if (!accountService.listen(QHostAddress::LocalHost, quint16(accountServicePort))) {
        err << "cannot listen on 127.0.0.1:" << accountServicePort << '\n';
        return 1;
    }
    out << "Account service at http://127.0.0.1:" << accountService.serverPort() << "/account/\n";

    out << "Accounts: 1001/demo1001, 1002/demo1002, 2001/trader2001, 3000000001/demo3000000001\n";
    out.flush();
    return app.exec();
}
