#pragma once

#include "simmarket.h"

#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebSocketProtocol>

class QWebSocket;
class QWebSocketServer;

namespace simbroker {

class TcpRelay;

// A simulated trade server on loopback, speaking the terminal's trade protocol: text frames of
// one compact JSON object each, requests with "req_code", replies with "res_code".
//
// Protocol served:
//   req 1 login {"id","password","type"}        -> res 1 {"state","login","name","group"}; after an
//                                                  accepted login, unasked: res 8 (symbol list),
//                                                  res 4 (account and positions), res 6 (pending
//                                                  orders) and res 2 (one quote per symbol)
//   req 3 chart history {"symbol","interval","from","to"} -> res 3 {"symbol","interval","array"}
//   req 4 trade, by "type": 0 new market/pending order, 1 modify order, 2 modify position,
//                           3 delete order, 4 close position, 5 refresh account, 9 close all
//                           ("sub_type" 0 all, 1 profitable, 2 losing), 10 close by hedge
//                                               -> res 7 {"status","msg","fail_reason","type"}
//                                                  (not for 5), then res 4 and res 6 on success
//   req 5 trade history {"from","to"}           -> res 5 {"positions","orders","deals"}
//   and, while the price stream runs, res 2 quotes to every logged-in connection. Each new price
//   fills the pending orders it reaches and closes the positions whose stop loss or take profit
//   it reaches, announced with res 4 and res 6.
// Requests before a login, unknown codes and malformed frames are recorded and not answered.
//
// Clients reach the server through a TCP relay (see TcpRelay), so a test can freeze the server
// (no pong, no reply), cut connections, and see the close codes the client sends.
//
// Everything runs in the thread that owns the object, driven by its event loop; tests use it
// from their main thread while the client under test runs its own thread.
class SimTradeServer : public QObject
{
    Q_OBJECT
public:
    // One frame a client sent. "object" is empty when the text is not one JSON object.
    struct ReceivedFrame
    {
        int connection = 0;
        QString text;
        QJsonObject object;
        bool isObject = false;
    };

    // Status codes of trade results.
    enum TradeStatus {
        StatusDone = 10009,
        StatusRejected = 10006,
        StatusInvalid = 10013,
        StatusInvalidVolume = 10014,
        StatusInvalidPrice = 10015,
        StatusInvalidStops = 10016,
        StatusNoMoney = 10019,
    };

    explicit SimTradeServer(QObject *parent = nullptr);
    ~SimTradeServer() override;

    // Listens on a loopback address; port 0 picks a free port. Returns false on failure.
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    void close();
    bool isListening() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    QUrl url() const;                      // ws://address:port
    QString address() const;               // "address:port", as a broker list names a server

    // --- Accounts -------------------------------------------------------------------------
    // Margin is held at 1:leverage; a leverage below 1 (a registration that named none) is 1:100.
    // The account is opened now: its history begins with a balance deal of its deposit, dated
    // now. Adding a login that exists sets it up again, its one opening deposit then of `balance`.
    void addAccount(qint64 login, const QString &password, double balance = 10000.0,
                    const QString &name = QString(), const QString &group = QStringLiteral("demo\\usd"),
                    int leverage = 100);
    // The documented accounts (tests/broker/README.md), opened a week ago, with a few positions, an
    // order and history.
    void addDemoAccounts();
    bool hasAccount(qint64 login) const;
    void setAccountPassword(qint64 login, const QString &password);
    double balance(qint64 login) const;
    // Every login is answered with "state" 0 while set, whatever the password.
    void setRefuseLogins(bool refuse);
    // Whether an accepted login is followed by the unasked symbol list, account, orders and
    // quotes (on by default); tests of the bare protocol switch it off.
    void setLoginSnapshot(bool enabled);
    // The next ticket handed out (positions, orders, deals); lets tests go past 32 bits.
    void setNextTicket(qint64 ticket);

    // --- Account state (injection and read-back) ------------------------------------------
    // Adds an open position / pending order given as the reply element (missing "ticket",
    // "login", "time", "digits", "csize" are filled in) and pushes the changed list to the
    // account's connections. Returns the ticket.
    qint64 addPosition(qint64 login, const QJsonObject &position);
    qint64 addOrder(qint64 login, const QJsonObject &order);
    // Appends to the trade history ("positions", "orders" or "deals").
    void addHistory(qint64 login, const QString &array, const QJsonObject &record);
    QJsonArray positions(qint64 login) const;   // with current prices and profits
    QJsonArray orders(qint64 login) const;
    // Sends res 4 and res 6 of the account to its connections.
    void pushAccount(qint64 login);

    // --- Market -----------------------------------------------------------------------------
    SimMarket &market() { return m_market; }
    void setSeed(quint32 seed);                     // restarts the price walk
    void startPriceStream(int intervalMs = 250);    // one quote per symbol each interval
    void stopPriceStream();
    bool isStreaming() const { return m_streamTimer.isActive(); }
    void stepPrices();                              // one step of the walk, sent at once
    // Sets a quote and sends it to every logged-in connection.
    void setPrice(const QString &symbol, double bid, double ask);

    // --- Connections and raw frames ---------------------------------------------------------
    int connectionCount() const;                    // open WebSocket connections
    int loggedInCount() const;
    void sendText(const QString &text);             // to every open connection, as it stands
    void sendJson(const QJsonObject &object);       // compact, to every open connection
    // Messages to the connections open now leave in frames of at most this many bytes, so a long
    // one is a message of many frames.
    void setOutgoingFrameSize(quint64 bytes);
    // Replies to requests (not the stream) leave this many ms later; 0 sends them at once.
    void setReplyDelay(int ms);
    // Cuts every connection (TCP reset), as a lost network does.
    void dropConnections();
    // Closes every connection with a close frame.
    void closeConnections(QWebSocketProtocol::CloseCode code = QWebSocketProtocol::CloseCodeNormal);
    // A frozen server keeps its connections but neither reads nor answers, pings included.
    void setFrozen(bool frozen);
    bool isFrozen() const;

    QList<ReceivedFrame> receivedFrames() const { return m_frames; }
    // The received requests with this "req_code" (every object when reqCode is -1).
    QList<QJsonObject> receivedRequests(int reqCode = -1) const;
    void clearReceivedFrames() { m_frames.clear(); }

signals:
    // A TCP connection reached the server (clientConnected follows once its WebSocket handshake
    // is done).
    void tcpConnected(int connection);
    void clientConnected(int connection);
    void clientDisconnected(int connection);
    void frameReceived(int connection, const QString &text, const QJsonObject &object);
    void loginHandled(int connection, qint64 login, bool accepted);
    // Close frames and pings the clients sent, read on the way in.
    void clientCloseFrame(int connection, int code);
    void clientPing(int connection);

private:
    struct Account;
    struct Session;
    struct TradeResult
    {
        int status = StatusDone;
        QString msg;
        QString failReason;
    };

    void onNewConnection();
    void onTextMessage(Session *session, const QString &text);
    void handleLogin(Session *session, const QJsonObject &request);
    void handleChartHistory(Session *session, const QJsonObject &request);
    void handleTrade(Session *session, const QJsonObject &request);
    void handleTradeHistory(Session *session, const QJsonObject &request);
    void sendSnapshot(Session *session);
    void reply(Session *session, const QJsonObject &object);
    void send(Session *session, const QString &text);
    void broadcastQuote(const QString &symbol);

    TradeResult openOrder(Account &account, const QJsonObject &request);
    TradeResult modifyOrder(Account &account, const QJsonObject &request);
    TradeResult modifyPosition(Account &account, const QJsonObject &request);
    TradeResult deleteOrder(Account &account, const QJsonObject &request);
    TradeResult closePosition(Account &account, qint64 ticket, qint64 volume);
    TradeResult closeAll(Account &account, int subType);
    TradeResult closeByHedge(Account &account, const QJsonObject &request);
    void openPosition(Account &account, const QString &symbol, int orderType, qint64 volume, double sl,
                      double tp, qint64 ticket, double price);
    // Fills the pending orders and closes the positions whose prices were reached.
    void applyTriggers();
    TradeResult checkVolume(const QString &symbol, qint64 volume) const;

    double closePrice(const QJsonObject &position) const;
    double profitOf(const QJsonObject &position) const;
    double profitRate(const QString &symbol) const;
    // Dollars held for a position of this volume (1/10000 lot) opened at price.
    double marginOf(const QString &symbol, qint64 volume, double contractSize, double price, int leverage) const;
    double usedMargin(const Account &account) const;
    QJsonObject positionsReply(const Account &account) const;
    QJsonObject ordersReply(const Account &account) const;
    Account *account(qint64 login);
    const Account *account(qint64 login) const;
    qint64 nextTicket() { return m_nextTicket++; }

    QWebSocketServer *m_server = nullptr;
    TcpRelay *m_relay = nullptr;
    SimMarket m_market;
    QTimer m_streamTimer;
    QMap<qint64, Account *> m_accounts;
    QList<Session *> m_sessions;
    QList<ReceivedFrame> m_frames;
    bool m_refuseLogins = false;
    bool m_loginSnapshot = true;
    int m_replyDelayMs = 0;
    qint64 m_nextTicket = 100001;
};

} // namespace simbroker
