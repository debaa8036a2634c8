// Program entry of the Client Terminal.
#include "client_terminal.h"
#include "programend.h"
#include "tradeclient.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT (a session logout, Ctrl+C, a test's terminate) close the main window
// through the event loop, so the workspace is saved and the journal's last lines are written
// as on any other close. The handler itself only writes one byte to a socket pair.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, sizeof byte);
}

bool installTerminationHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QFont font = QApplication::font();
    font.setPointSize(10);
    QApplication::setFont(font);

    // Logs, workspaces and caches live beside the program, whatever folder it was started from.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    // The broker list is asked for on the built-in host unless the environment names another:
    // a test's program asks on a loopback address of the test's own, never where a simulated
    // broker started by hand answers.
    const QString brokerListHost = qEnvironmentVariable("CORVANE_BROKER_LIST_HOST");
    if (!brokerListHost.isEmpty())
        Client_Terminal::setBrokerListHost(brokerListHost);

    auto *tradeClient = new TradeClient;
    const bool handlersInstalled = installTerminationHandlers();

    int result = 0;
    {
        Client_Terminal window(tradeClient);

        QSocketNotifier *notifier = nullptr;
        if (handlersInstalled) {
            notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &window);
            QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
                notifier->setEnabled(false);
                char byte = 0;
                [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, sizeof byte);
                window.close();
            });
        }

        window.showMaximized();
        result = app.exec();
    }

    endProgram(tradeClient);
    return result;
}
