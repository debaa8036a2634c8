#pragma once
// A main window logged in to the simulated trade server over loopback: the set-up the window's
// tests share. Each test owns one and starts it as it needs; frames the server received are read
// back through `trades` and `requests`.
#include "client_terminal.h"
#include "logger.h"
#include "loopback.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QMenu>
#include <QtTest>
#include <functional>
#include <memory>

namespace corvane_test {

struct SessionOptions
{
    QString password = QStringLiteral("secret");
    double balance = 1000.0;
    QString holder;
    QHostAddress address = QHostAddress::LocalHost;
    bool snapshot = true; // the server's unasked replies after an accepted login
    bool show = true;
};

// Returns once `server` holds every request `client` was given so far: a marker request sent
// behind them has arrived. A test that expects nothing reads the frames after this.
inline void settleAt(TradeClient &client, simbroker::SimTradeServer &server)
{
    static int markers = 0;
    const QString marker = QStringLiteral("MARKER%1").arg(++markers);
    client.sendRequest(TradeMessages::chartHistoryRequest(marker, 1, 0, -1));
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        for (const auto &frame : server.receivedFrames())
            if (frame.object.value(QStringLiteral("symbol")).toString() == marker)
                return true;
        return false;
    }(), MustHappenMs);
}

struct LoggedInWindow
{
    std::unique_ptr<simbroker::SimTradeServer> server;
    std::unique_ptr<TradeClient> client;
    std::unique_ptr<Client_Terminal> window;
    qint64 account = 0;
    // The journal lines the window wrote itself (source "Terminal", in this thread) since start.
    QStringList windowJournal;
    QHostAddress address;
    quint16 port = 0;

    // A fresh server with the account, `seed` run on it before the login, then a fresh window
    // logged in. Returns once the window's account refresh after the login reached the server and
    // was answered, with the received frames cleared, so a test reads only what it caused.
    bool start(qint64 login, const std::function<void(simbroker::SimTradeServer &)> &seed = {},
               const SessionOptions &options = SessionOptions())
    {
        stop();
        account = login;
        server = std::make_unique<simbroker::SimTradeServer>();
        if (!server->listen(options.address, 0))
            return false;
        address = options.address;
        port = server->serverPort();
        server->addAccount(login, options.password, options.balance, options.holder);
        server->setLoginSnapshot(options.snapshot);
        if (seed)
            seed(*server);
        client = std::make_unique<TradeClient>();
        client->setKeepAlive(KeepAliveOutOfTheWayMs); // no row here is about the keep-alive
        // The window asks for the broker list at once: on a host of this process's own, never
        // where a simulated broker started by hand would answer.
        Client_Terminal::setBrokerListHost(ownLoopbackHost(Loopback::Quiet));
        window = std::make_unique<Client_Terminal>(client.get());
        windowJournal.clear();
        QObject::connect(Logger::instance(), &Logger::logMessage, window.get(),
                         [this](const QDateTime &, const QString &title, const QString &message) {
                             if (QThread::currentThread() == QCoreApplication::instance()->thread()
                                 && title == QLatin1String("Terminal"))
                                 windowJournal << message;
                         },
                         Qt::DirectConnection);
        window->resize(1200, 800);
        if (options.show)
            window->show();
        client->connectToServer(server->url().toString(), login, options.password, QStringLiteral("Sim"));
        if (!QTest::qWaitFor([this] { return window->accountLogin() == account && !trades(5).isEmpty(); }, MustHappenMs))
            return false;
        QTest::qWait(0); // the refresh's answer is read in the same turn of the loop
        server->clearReceivedFrames();
        return true;
    }

    void stop()
    {
        window.reset();
        if (client)
            client->shutdown(MustHappenMs);
        client.reset();
        server.reset();
    }

    ~LoggedInWindow() { stop(); }

    // The requests of this req_code (and, for trades, of this type) the server received, as sent.
    QStringList requests(int reqCode, int type = -1) const
    {
        QStringList texts;
        for (const auto &frame : server->receivedFrames())
            if (frame.object.value(QStringLiteral("req_code")).toInt() == reqCode
                && (type < 0 || frame.object.value(QStringLiteral("type")).toInt() == type))
                texts << frame.text;
        return texts;
    }
    QStringList trades(int type) const { return requests(4, type); }

    template <class T> T *part(const char *name) const
    {
        T *widget = window->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no %s in the window", name);
        return widget;
    }

    // Returns once the server holds every request the client was given so far (see settleAt).
    void settle(simbroker::SimTradeServer *at = nullptr) { settleAt(*client, at ? *at : *server); }

    // Cuts the connection as a lost network does; `closing` also stops the server listening until
    // awaitRelogin. Returns once the window has handled the loss. The server answers at once from
    // here on, so the client's own reconnection is answered whenever it comes.
    bool loseConnection(bool closing)
    {
        QSignalSpy lost(client.get(), &TradeClient::websocketDisconnected);
        server->setReplyDelay(0);
        closing ? server->close() : server->dropConnections();
        return lost.wait(MustHappenMs);
    }
    // Listens again where it listened, and returns once the client's own reconnection has logged
    // in, the window's requests after it have arrived and their answers reached the window, with
    // the received frames cleared.
    bool awaitRelogin()
    {
        if (!server->isListening() && !server->listen(address, port))
            return false;
        if (!QTest::qWaitFor([this] { return window->tradeSessionUp(); }, MustHappenMs))
            return false;
        // Replies reach the window in the order sent: the marker's answer comes after all else.
        QSignalSpy answers(client.get(), &TradeClient::chartHistoryReceived);
        settle();
        const auto markerAnswered = [&answers] {
            for (const QList<QVariant> &answer : answers)
                if (answer.first().toJsonObject().value(QStringLiteral("symbol")).toString().startsWith(QStringLiteral("MARKER")))
                    return true;
            return false;
        };
        if (!QTest::qWaitFor(markerAnswered, MustHappenMs))
            return false;
        server->clearReceivedFrames();
        return true;
    }
};

// Runs `open`, which shows a menu with its own event loop; inside that loop, runs `meanwhile`,
// then picks the entry of that text (or none, for an empty text) and closes the menu. Returns
// where the menu opened.
inline QPoint chooseFromMenu(const QString &entry, const std::function<void()> &open,
                             const std::function<void()> &meanwhile = {})
{
    QPoint at;
    QTimer::singleShot(0, [&at, entry, meanwhile] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        at = menu->pos();
        if (meanwhile)
            meanwhile();
        for (QAction *action : menu->actions())
            if (!entry.isEmpty() && action->text() == entry)
                menu->setActiveAction(action);
        if (!entry.isEmpty())
            QTest::keyClick(menu, Qt::Key_Return);
        menu->close();
    });
    open();
    return at;
}

} // namespace corvane_test
