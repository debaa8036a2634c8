#include "simtradeserver.h"

#include "tcprelay.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QWebSocket>
#include <QWebSocketServer>
#include <cmath>
#include <limits>
#include <utility>

namespace simbroker {

namespace {

// What an account trades with when its registration asked for nothing usable.
constexpr int DefaultLeverage = 100;

qint64 int64Of(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toVariant().toLongLong();
    if (value.isString())
        return value.toString().toLongLong();
    return 0;
}

double round2(double value)
{
    return std::round(value * 100.0) / 100.0;
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

bool isSell(const QJsonObject &position)
{
    return position.value(QLatin1String("type")).toString() == QLatin1String("sell");
}

// The balance deal of the deposit an account was opened with.
QJsonObject openingDeposit(qint64 ticket, qint64 time, double amount)
{
    return {{QStringLiteral("ticket"), ticket},   {QStringLiteral("order"), 0},
            {QStringLiteral("symbol"), QString()}, {QStringLiteral("type"), 2},
            {QStringLiteral("time"), time},        {QStringLiteral("volume"), 0},
            {QStringLiteral("price"), 0.0},        {QStringLiteral("profit"), amount},
            {QStringLiteral("swap"), 0.0},         {QStringLiteral("commission"), 0.0},
            {QStringLiteral("fee"), 0.0},          {QStringLiteral("digits"), 2}};
}

} // namespace

struct SimTradeServer::Account
{
    qint64 login = 0;
    QString password;
    QString name;
    QString group;
    double balance = 0.0;
    double credit = 0.0;
    int leverage = DefaultLeverage;
    QMap<qint64, QJsonObject> positions;
    QMap<qint64, QJsonObject> orders;
    QJsonArray historyPositions;
    QJsonArray historyOrders;
    QJsonArray historyDeals;
};

struct SimTradeServer::Session
{
    int id = 0;
    QPointer<QWebSocket> socket;
    qint64 login = 0;   // 0 until a login was accepted
};

SimTradeServer::SimTradeServer(QObject *parent)
    : QObject(parent)
    , m_server(new QWebSocketServer(QStringLiteral("simbroker"), QWebSocketServer::NonSecureMode, this))
    , m_relay(new TcpRelay(this))
{
    connect(m_server, &QWebSocketServer::newConnection, this, &SimTradeServer::onNewConnection);
    connect(m_relay, &TcpRelay::clientCloseFrame, this, &SimTradeServer::clientCloseFrame);
    connect(m_relay, &TcpRelay::clientPing, this, &SimTradeServer::clientPing);
    connect(m_relay, &TcpRelay::linkOpened, this, &SimTradeServer::tcpConnected);
    connect(&m_streamTimer, &QTimer::timeout, this, &SimTradeServer::stepPrices);
}

SimTradeServer::~SimTradeServer()
{
    close();
    qDeleteAll(m_accounts);
}

bool SimTradeServer::listen(const QHostAddress &address, quint16 port)
{
    // The WebSocket server itself sits on a loopback port of its own; clients reach it through
    // the relay, which is what listens on the requested address.
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        return false;
    if (!m_relay->listen(address, port, QHostAddress::LocalHost, m_server->serverPort())) {
        m_server->close();
        return false;
    }
    return true;
}

void SimTradeServer::close()
{
    m_streamTimer.stop();
    const QList<Session *> sessions = std::exchange(m_sessions, {});
    for (Session *session : sessions) {
        if (session->socket) {
            session->socket->disconnect(this);
            session->socket->abort();
            session->socket->deleteLater();
        }
        delete session;
    }
    m_relay->close();
    m_server->close();
}

bool SimTradeServer::isListening() const
{
    return m_server->isListening();
}

QHostAddress SimTradeServer::serverAddress() const
{
    return m_relay->serverAddress();
}

quint16 SimTradeServer::serverPort() const
{
    return m_relay->serverPort();
}

QUrl SimTradeServer::url() const
{
    return QUrl(QStringLiteral("ws://%1").arg(address()));
}

QString SimTradeServer::address() const
{
    return QStringLiteral("%1:%2").arg(serverAddress().toString()).arg(serverPort());
}

// --- Accounts ------------------------------------------------------------------------------

void SimTradeServer::addAccount(qint64 login, const QString &password, double balance, const QString &name,
                                const QString &group, int leverage)
{
    Account *a = m_accounts.value(login);
    const bool opened = !a;
    if (opened) {
        a = new Account;
        m_accounts.insert(login, a);
    }
    a->login = login;
    a->password = password;
    a->name = name.isEmpty() ? QStringLiteral("Trader %1").arg(login) : name;
    a->group = group;
    a->balance = balance;
    a->leverage = leverage >= 1 ? leverage : DefaultLeverage;
    // A broker's history begins with the deposit the account was opened with, so the balance
    // the history adds up to is the account's. An account set up again keeps its one opening
    // deposit, now of the balance given.
    if (opened) {
        a->historyDeals.append(openingDeposit(nextTicket(), now(), balance));
    } else {
        QJsonObject deposit = a->historyDeals.at(0).toObject();
        deposit.insert(QStringLiteral("profit"), balance);
        a->historyDeals.replace(0, deposit);
    }
}

void SimTradeServer::addDemoAccounts()
{
    addAccount(1001, QStringLiteral("demo1001"), 10000.0, QStringLiteral("Demo Trader"));
    addAccount(1002, QStringLiteral("demo1002"), 5000.0, QStringLiteral("Second Demo"));
    addAccount(2001, QStringLiteral("trader2001"), 25000.0, QStringLiteral("Live Trader"),
               QStringLiteral("real\\usd"));
    addAccount(3000000001LL, QStringLiteral("demo3000000001"), 1000.0, QStringLiteral("Wide Account"));
    // Opened a week ago, before the history below.
    for (qint64 login : {1001LL, 1002LL, 2001LL, 3000000001LL}) {
        QJsonArray &deals = account(login)->historyDeals;
        QJsonObject deposit = deals.at(0).toObject();
        deposit.insert(QStringLiteral("time"), now() - 7 * 86400);
        deals.replace(0, deposit);
    }

    const auto quote = [this](const char *symbol) { return m_market.quote(QString::fromLatin1(symbol)); };
    addPosition(1001, {{QStringLiteral("symbol"), QStringLiteral("EURUSD")}, {QStringLiteral("type"), QStringLiteral("buy")},
                       {QStringLiteral("volume"), 1000}, {QStringLiteral("price_o"), quote("EURUSD").ask - 0.0015},
                       {QStringLiteral("time"), now() - 5400}});
    addPosition(1001, {{QStringLiteral("symbol"), QStringLiteral("USDJPY")}, {QStringLiteral("type"), QStringLiteral("sell")},
                       {QStringLiteral("volume"), 5000}, {QStringLiteral("price_o"), quote("USDJPY").bid - 0.120},
                       {QStringLiteral("sl"), quote("USDJPY").bid + 1.5}, {QStringLiteral("time"), now() - 3600}});
    addPosition(1001, {{QStringLiteral("symbol"), QStringLiteral("XAUUSD")}, {QStringLiteral("type"), QStringLiteral("buy")},
                       {QStringLiteral("volume"), 500}, {QStringLiteral("price_o"), quote("XAUUSD").ask + 2.5},
                       {QStringLiteral("time"), now() - 600}});
    addOrder(1001, {{QStringLiteral("symbol"), QStringLiteral("GBPUSD")}, {QStringLiteral("type"), 2},
                    {QStringLiteral("volume"), 2000}, {QStringLiteral("price"), quote("GBPUSD").ask - 0.0100}});
    const qint64 yesterday = now() - 86400;
    const qint64 closed = nextTicket();
    addHistory(1001, QStringLiteral("positions"),
               {{QStringLiteral("ticket"), closed}, {QStringLiteral("symbol"), QStringLiteral("EURUSD")},
                {QStringLiteral("type"), QStringLiteral("buy")}, {QStringLiteral("time"), yesterday},
                {QStringLiteral("digits"), 5}, {QStringLiteral("volume"), 2000},
                {QStringLiteral("price_o"), 1.08120}, {QStringLiteral("price_c"), 1.08370},
                {QStringLiteral("sl"), 0.0}, {QStringLiteral("tp"), 1.08400}, {QStringLiteral("swap"), -0.42},
                {QStringLiteral("profit"), 50.0}});
    for (int i = 0; i < 2; ++i) {
        addHistory(1001, QStringLiteral("orders"),
                   {{QStringLiteral("ticket"), i == 0 ? closed : nextTicket()}, {QStringLiteral("symbol"), QStringLiteral("EURUSD")},
                    {QStringLiteral("type"), i == 0 ? 0 : 1}, {QStringLiteral("time"), yesterday + i * 3600},
                    {QStringLiteral("volume"), 2000}, {QStringLiteral("price"), i == 0 ? 1.08120 : 1.08370},
                    {QStringLiteral("s_price"), 0.0}, {QStringLiteral("sl"), 0.0}, {QStringLiteral("tp"), 0.0},
                    {QStringLiteral("state"), 4}, {QStringLiteral("digits"), 5}});
        addHistory(1001, QStringLiteral("deals"),
                   {{QStringLiteral("ticket"), nextTicket()}, {QStringLiteral("order"), closed},
                    {QStringLiteral("symbol"), QStringLiteral("EURUSD")}, {QStringLiteral("type"), i},
                    {QStringLiteral("time"), yesterday + i * 3600}, {QStringLiteral("volume"), 2000},
                    {QStringLiteral("price"), i == 0 ? 1.08120 : 1.08370}, {QStringLiteral("profit"), i == 0 ? 0.0 : 50.0},
                    {QStringLiteral("swap"), i == 0 ? 0.0 : -0.42}, {QStringLiteral("commission"), -0.7},
                    {QStringLiteral("fee"), 0.0}, {QStringLiteral("digits"), 5}});
    }
    Account *a = account(1001);
    a->balance += 50.0 - 0.42 - 1.4;
}

bool SimTradeServer::hasAccount(qint64 login) const
{
    return m_accounts.contains(login);
}

void SimTradeServer::setAccountPassword(qint64 login, const QString &password)
{
    if (Account *a = account(login))
        a->password = password;
}

double SimTradeServer::balance(qint64 login) const
{
    const Account *a = account(login);
    return a ? a->balance : 0.0;
}

void SimTradeServer::setRefuseLogins(bool refuse)
{
    m_refuseLogins = refuse;
}

void SimTradeServer::setLoginSnapshot(bool enabled)
{
    m_loginSnapshot = enabled;
}

void SimTradeServer::setNextTicket(qint64 ticket)
{
    m_nextTicket = ticket;
}

SimTradeServer::Account *SimTradeServer::account(qint64 login)
{
    return m_accounts.value(login);
}

const SimTradeServer::Account *SimTradeServer::account(qint64 login) const
{
    return m_accounts.value(login);
}

// --- Account state -------------------------------------------------------------------------

qint64 SimTradeServer::addPosition(qint64 login, const QJsonObject &position)
{
    Account *a = account(login);
    if (!a)
        return 0;
    QJsonObject p = position;
    const QString symbol = p.value(QLatin1String("symbol")).toString();
    const SymbolSpec &info = m_market.symbolInfo(symbol);
    qint64 ticket = int64Of(p.value(QLatin1String("ticket")));
    if (ticket <= 0)
        ticket = nextTicket();
    p.insert(QStringLiteral("ticket"), ticket);
    p.insert(QStringLiteral("login"), login);
    if (!p.contains(QLatin1String("time")))
        p.insert(QStringLiteral("time"), now());
    if (!p.contains(QLatin1String("digits")))
        p.insert(QStringLiteral("digits"), info.digits);
    if (!p.contains(QLatin1String("csize")))
        p.insert(QStringLiteral("csize"), info.contractSize);
    for (const char *key : {"sl", "tp", "swap", "fee"}) {
        if (!p.contains(QLatin1String(key)))
            p.insert(QLatin1String(key), 0.0);
    }
    a->positions.insert(ticket, p);
    pushAccount(login);
    return ticket;
}

qint64 SimTradeServer::addOrder(qint64 login, const QJsonObject &order)
{
    Account *a = account(login);
    if (!a)
        return 0;
    QJsonObject o = order;
    qint64 ticket = int64Of(o.value(QLatin1String("ticket")));
    if (ticket <= 0)
        ticket = nextTicket();
    o.insert(QStringLiteral("ticket"), ticket);
    o.insert(QStringLiteral("login"), login);
    if (!o.contains(QLatin1String("time")))
        o.insert(QStringLiteral("time"), now());
    if (!o.contains(QLatin1String("digits")))
        o.insert(QStringLiteral("digits"), m_market.symbolInfo(o.value(QLatin1String("symbol")).toString()).digits);
    for (const char *key : {"s_price", "sl", "tp"}) {
        if (!o.contains(QLatin1String(key)))
            o.insert(QLatin1String(key), 0.0);
    }
    a->orders.insert(ticket, o);
    pushAccount(login);
    return ticket;
}

void SimTradeServer::addHistory(qint64 login, const QString &array, const QJsonObject &record)
{
    Account *a = account(login);
    if (!a)
        return;
    if (array == QLatin1String("positions"))
        a->historyPositions.append(record);
    else if (array == QLatin1String("orders"))
        a->historyOrders.append(record);
    else if (array == QLatin1String("deals"))
        a->historyDeals.append(record);
}

double SimTradeServer::closePrice(const QJsonObject &position) const
{
    const Quote q = m_market.quote(position.value(QLatin1String("symbol")).toString());
    return isSell(position) ? q.ask : q.bid;
}

double SimTradeServer::profitRate(const QString &symbol) const
{
    // Profit is in the symbol's quote currency; the account is in US dollars.
    const QString quoteCurrency = symbol.size() == 6 ? symbol.right(3)
                                                     : (symbol == QLatin1String("GER40") ? QStringLiteral("EUR")
                                                                                         : QStringLiteral("USD"));
    const auto mid = [this](const char *s) {
        const Quote q = m_market.quote(QString::fromLatin1(s));
        return (q.bid + q.ask) / 2.0;
    };
    if (quoteCurrency == QLatin1String("JPY"))
        return 1.0 / mid("USDJPY");
    if (quoteCurrency == QLatin1String("CHF"))
        return 1.0 / mid("USDCHF");
    if (quoteCurrency == QLatin1String("CAD"))
        return 1.0 / mid("USDCAD");
    if (quoteCurrency == QLatin1String("GBP"))
        return mid("GBPUSD");
    if (quoteCurrency == QLatin1String("AUD"))
        return mid("AUDUSD");
    if (quoteCurrency == QLatin1String("EUR"))
        return mid("EURUSD");
    return 1.0;
}

double SimTradeServer::profitOf(const QJsonObject &position) const
{
    const QString symbol = position.value(QLatin1String("symbol")).toString();
    const double open = position.value(QLatin1String("price_o")).toDouble();
    const double lots = double(int64Of(position.value(QLatin1String("volume")))) / 10000.0;
    const double csize = position.value(QLatin1String("csize")).toDouble(m_market.symbolInfo(symbol).contractSize);
    const double difference = isSell(position) ? open - closePrice(position) : closePrice(position) - open;
    return round2(difference * csize * lots * profitRate(symbol));
}

QJsonArray SimTradeServer::positions(qint64 login) const
{
    QJsonArray array;
    const Account *a = account(login);
    if (!a)
        return array;
    for (QJsonObject p : a->positions) {
        p.insert(QStringLiteral("price_c"), closePrice(p));
        p.insert(QStringLiteral("profit"), profitOf(p));
        // The terminal reprices with this rate at every tick, so it must be the one used here.
        p.insert(QStringLiteral("r_profit"), profitRate(p.value(QLatin1String("symbol")).toString()));
        array.append(p);
    }
    return array;
}

QJsonArray SimTradeServer::orders(qint64 login) const
{
    QJsonArray array;
    if (const Account *a = account(login)) {
        for (const QJsonObject &o : a->orders)
            array.append(o);
    }
    return array;
}

double SimTradeServer::marginOf(const QString &symbol, qint64 volume, double contractSize, double price,
                                int leverage) const
{
    // The position's value in dollars (its price is in the quote currency) held at the leverage.
    const double lots = double(volume) / 10000.0;
    return lots * contractSize * price * profitRate(symbol) / leverage;
}

double SimTradeServer::usedMargin(const Account &a) const
{
    double margin = 0.0;
    for (const QJsonObject &p : a.positions) {
        const QString symbol = p.value(QLatin1String("symbol")).toString();
        margin += marginOf(symbol, int64Of(p.value(QLatin1String("volume"))),
                           p.value(QLatin1String("csize")).toDouble(m_market.symbolInfo(symbol).contractSize),
                           p.value(QLatin1String("price_o")).toDouble(), a.leverage);
    }
    return margin;
}

QJsonObject SimTradeServer::positionsReply(const Account &a) const
{
    return QJsonObject{
        {QStringLiteral("res_code"), 4},
        {QStringLiteral("balance"), round2(a.balance)},
        {QStringLiteral("margin"), round2(usedMargin(a))},
        {QStringLiteral("credit"), round2(a.credit)},
        {QStringLiteral("array"), positions(a.login)},
        {QStringLiteral("is_last"), 1},
    };
}

QJsonObject SimTradeServer::ordersReply(const Account &a) const
{
    return QJsonObject{{QStringLiteral("res_code"), 6}, {QStringLiteral("array"), orders(a.login)}};
}

void SimTradeServer::pushAccount(qint64 login)
{
    const Account *a = account(login);
    if (!a)
        return;
    for (Session *session : qAsConst(m_sessions)) {
        if (session->login == login) {
            reply(session, positionsReply(*a));
            reply(session, ordersReply(*a));
        }
    }
}

// --- Market --------------------------------------------------------------------------------

void SimTradeServer::setSeed(quint32 seed)
{
    m_market.setSeed(seed);
}

void SimTradeServer::startPriceStream(int intervalMs)
{
    m_streamTimer.start(qMax(1, intervalMs));
}

void SimTradeServer::stopPriceStream()
{
    m_streamTimer.stop();
}

void SimTradeServer::stepPrices()
{
    m_market.step();
    for (const QString &symbol : m_market.symbols())
        broadcastQuote(symbol);
    applyTriggers();
}

void SimTradeServer::setPrice(const QString &symbol, double bid, double ask)
{
    m_market.setQuote(symbol, bid, ask);
    broadcastQuote(symbol);
    applyTriggers();
}

void SimTradeServer::broadcastQuote(const QString &symbol)
{
    if (!m_market.hasSymbol(symbol))
        return;
    const QString text = compact(m_market.tickJson(symbol));
    for (Session *session : qAsConst(m_sessions)) {
        if (session->login != 0)
            send(session, text);
    }
}

// --- Connections -----------------------------------------------------------------------------

int SimTradeServer::connectionCount() const
{
    return m_sessions.size();
}

int SimTradeServer::loggedInCount() const
{
    int count = 0;
    for (const Session *session : m_sessions)
        count += session->login != 0 ? 1 : 0;
    return count;
}

void SimTradeServer::sendText(const QString &text)
{
    for (Session *session : qAsConst(m_sessions))
        send(session, text);
}

void SimTradeServer::sendJson(const QJsonObject &object)
{
    sendText(compact(object));
}

void SimTradeServer::setOutgoingFrameSize(quint64 bytes)
{
    for (Session *session : qAsConst(m_sessions)) {
        if (session->socket)
            session->socket->setOutgoingFrameSize(bytes);
    }
}

void SimTradeServer::setReplyDelay(int ms)
{
    m_replyDelayMs = qMax(0, ms);
}

void SimTradeServer::dropConnections()
{
    m_relay->abortAll();
}

void SimTradeServer::closeConnections(QWebSocketProtocol::CloseCode code)
{
    for (Session *session : qAsConst(m_sessions)) {
        if (session->socket)
            session->socket->close(code);
    }
}

void SimTradeServer::setFrozen(bool frozen)
{
    m_relay->setFrozen(frozen);
}

bool SimTradeServer::isFrozen() const
{
    return m_relay->isFrozen();
}

QList<QJsonObject> SimTradeServer::receivedRequests(int reqCode) const
{
    QList<QJsonObject> requests;
    for (const ReceivedFrame &frame : m_frames) {
        if (frame.isObject
            && (reqCode == -1 || frame.object.value(QLatin1String("req_code")).toInt(-2) == reqCode))
            requests.append(frame.object);
    }
    return requests;
}

void SimTradeServer::onNewConnection()
{
    while (QWebSocket *socket = m_server->nextPendingConnection()) {
        auto *session = new Session;
        session->socket = socket;
        session->id = m_relay->linkIdForTargetPeerPort(socket->peerPort());
        m_sessions.append(session);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, session](const QString &text) { onTextMessage(session, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, session, socket] {
            m_sessions.removeOne(session);
            const int id = session->id;
            delete session;
            socket->deleteLater();
            emit clientDisconnected(id);
        });
        emit clientConnected(session->id);
    }
}

void SimTradeServer::send(Session *session, const QString &text)
{
    if (session->socket && session->socket->state() == QAbstractSocket::ConnectedState)
        session->socket->sendTextMessage(text);
}

void SimTradeServer::reply(Session *session, const QJsonObject &object)
{
    const QString text = compact(object);
    if (m_replyDelayMs <= 0) {
        send(session, text);
        return;
    }
    QPointer<QWebSocket> socket = session->socket;
    QTimer::singleShot(m_replyDelayMs, this, [socket, text] {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            socket->sendTextMessage(text);
    });
}

void SimTradeServer::onTextMessage(Session *session, const QString &text)
{
    ReceivedFrame frame;
    frame.connection = session->id;
    frame.text = text;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    frame.isObject = error.error == QJsonParseError::NoError && document.isObject();
    if (frame.isObject)
        frame.object = document.object();
    m_frames.append(frame);
    emit frameReceived(frame.connection, frame.text, frame.object);
    if (!frame.isObject)
        return;

    const int reqCode = frame.object.value(QLatin1String("req_code")).toInt();
    if (reqCode == 1) {
        handleLogin(session, frame.object);
        return;
    }
    if (session->login == 0)
        return;
    switch (reqCode) {
    case 3: handleChartHistory(session, frame.object); break;
    case 4: handleTrade(session, frame.object); break;
    case 5: handleTradeHistory(session, frame.object); break;
    default: break;
    }
}

void SimTradeServer::handleLogin(Session *session, const QJsonObject &request)
{
    const qint64 login = int64Of(request.value(QLatin1String("id")));
    const Account *a = account(login);
    const bool accepted = !m_refuseLogins && a
        && request.value(QLatin1String("password")).toString() == a->password;
    if (!accepted) {
        session->login = 0;
        reply(session, {{QStringLiteral("res_code"), 1}, {QStringLiteral("state"), 0}});
        emit loginHandled(session->id, login, false);
        return;
    }
    session->login = login;
    reply(session, {{QStringLiteral("res_code"), 1},
                    {QStringLiteral("state"), 1},
                    {QStringLiteral("login"), login},
                    {QStringLiteral("name"), a->name},
                    {QStringLiteral("group"), a->group}});
    if (m_loginSnapshot)
        sendSnapshot(session);
    emit loginHandled(session->id, login, true);
}

void SimTradeServer::sendSnapshot(Session *session)
{
    const Account *a = account(session->login);
    if (!a)
        return;
    reply(session, {{QStringLiteral("res_code"), 8}, {QStringLiteral("array"), m_market.symbolListJson()}});
    reply(session, positionsReply(*a));
    reply(session, ordersReply(*a));
    for (const QString &symbol : m_market.symbols())
        reply(session, m_market.tickJson(symbol));
}

void SimTradeServer::handleChartHistory(Session *session, const QJsonObject &request)
{
    const QString symbol = request.value(QLatin1String("symbol")).toString();
    const int interval = request.value(QLatin1String("interval")).toInt();
    const qint64 from = int64Of(request.value(QLatin1String("from")));
    const qint64 to = int64Of(request.value(QLatin1String("to")));
    reply(session, {{QStringLiteral("res_code"), 3},
                    {QStringLiteral("symbol"), symbol},
                    {QStringLiteral("interval"), interval},
                    {QStringLiteral("array"), m_market.bars(symbol, interval, from, to)}});
}

void SimTradeServer::handleTradeHistory(Session *session, const QJsonObject &request)
{
    const Account *a = account(session->login);
    if (!a)
        return;
    const qint64 from = int64Of(request.value(QLatin1String("from")));
    qint64 to = int64Of(request.value(QLatin1String("to")));
    if (to < 0)
        to = std::numeric_limits<qint64>::max();
    const auto within = [from, to](const QJsonArray &records) {
        QJsonArray selected;
        for (const QJsonValue &record : records) {
            const qint64 time = int64Of(record.toObject().value(QLatin1String("time")));
            if (time >= from && time < to)
                selected.append(record);
        }
        return selected;
    };
    reply(session, {{QStringLiteral("res_code"), 5},
                    {QStringLiteral("positions"), within(a->historyPositions)},
                    {QStringLiteral("orders"), within(a->historyOrders)},
                    {QStringLiteral("deals"), within(a->historyDeals)}});
}

// --- Trading -----------------------------------------------------------------------------------

void SimTradeServer::handleTrade(Session *session, const QJsonObject &request)
{
    Account *a = account(session->login);
    if (!a)
        return;
    const int type = request.value(QLatin1String("type")).toInt(-1);
    TradeResult result;
    if (int64Of(request.value(QLatin1String("login"))) != a->login) {
        result = {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Unknown account")};
    } else {
        switch (type) {
        case 0: result = openOrder(*a, request); break;
        case 1: result = modifyOrder(*a, request); break;
        case 2: result = modifyPosition(*a, request); break;
        case 3: result = deleteOrder(*a, request); break;
        case 4:
            result = closePosition(*a, int64Of(request.value(QLatin1String("order_id"))),
                                   int64Of(request.value(QLatin1String("volume"))));
            break;
        case 5:
            // A refresh has no result of its own: the account's state is the answer.
            reply(session, positionsReply(*a));
            reply(session, ordersReply(*a));
            return;
        case 9: result = closeAll(*a, request.value(QLatin1String("sub_type")).toInt()); break;
        case 10: result = closeByHedge(*a, request); break;
        default:
            result = {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Unknown trade type")};
            break;
        }
    }
    if (result.msg.isEmpty())
        result.msg = QStringLiteral("Done");
    reply(session, {{QStringLiteral("res_code"), 7},
                    {QStringLiteral("status"), result.status},
                    {QStringLiteral("msg"), result.msg},
                    {QStringLiteral("fail_reason"), result.failReason},
                    {QStringLiteral("type"), type}});
    if (result.status == StatusDone)
        pushAccount(a->login);
}

SimTradeServer::TradeResult SimTradeServer::checkVolume(const QString &symbol, qint64 volume) const
{
    const SymbolSpec &info = m_market.symbolInfo(symbol);
    if (volume < info.minVolume || volume > info.maxVolume
        || (info.stepVolume > 0 && (volume - info.minVolume) % info.stepVolume != 0))
        return {StatusInvalidVolume, QStringLiteral("Invalid volume"),
                QStringLiteral("Volume %1 outside %2..%3 step %4")
                    .arg(volume).arg(info.minVolume).arg(info.maxVolume).arg(info.stepVolume)};
    return {};
}

SimTradeServer::TradeResult SimTradeServer::openOrder(Account &a, const QJsonObject &request)
{
    const QString symbol = request.value(QLatin1String("symbol")).toString();
    if (!m_market.hasSymbol(symbol))
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Unknown symbol")};
    const int orderType = request.value(QLatin1String("order_type")).toInt(-1);
    if (orderType < 0 || orderType > 7)
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Unknown order type")};
    const qint64 volume = int64Of(request.value(QLatin1String("volume")));
    const TradeResult volumeCheck = checkVolume(symbol, volume);
    if (volumeCheck.status != StatusDone)
        return volumeCheck;

    const SymbolSpec &info = m_market.symbolInfo(symbol);
    const Quote q = m_market.quote(symbol);
    const double sl = request.value(QLatin1String("sl")).toDouble();
    const double tp = request.value(QLatin1String("tp")).toDouble();
    if (orderType <= 1) {
        const bool sell = orderType == 1;
        const double price = sell ? q.bid : q.ask;
        const double exit = sell ? q.ask : q.bid;
        if ((sl > 0 && (sell ? sl <= exit : sl >= exit)) || (tp > 0 && (sell ? tp >= exit : tp <= exit)))
            return {StatusInvalidStops, QStringLiteral("Invalid stops"),
                    QStringLiteral("Stop loss or take profit on the wrong side of the price")};
        const double margin = usedMargin(a) + marginOf(symbol, volume, info.contractSize, price, a.leverage);
        double equity = a.balance + a.credit;
        for (const QJsonObject &p : a.positions)
            equity += profitOf(p);
        if (margin > equity)
            return {StatusNoMoney, QStringLiteral("No money"), QStringLiteral("Not enough money")};
        openPosition(a, symbol, orderType, volume, sl, tp, nextTicket(), price);
        return {};
    }

    const double price = request.value(QLatin1String("price")).toDouble();
    const double stopLimit = request.value(QLatin1String("s_price")).toDouble();
    const bool buy = orderType % 2 == 0;
    const bool limit = orderType == 2 || orderType == 3;
    const double market = buy ? q.ask : q.bid;
    // Limits wait for a better price, stops (and stop limits) for a worse one.
    const bool sideOk = limit ? (buy ? price < market : price > market) : (buy ? price > market : price < market);
    if (price <= 0.0 || !sideOk || (orderType >= 6 && stopLimit <= 0.0))
        return {StatusInvalidPrice, QStringLiteral("Invalid price"),
                QStringLiteral("Price %1 not valid for this order type").arg(price)};
    const qint64 ticket = nextTicket();
    a.orders.insert(ticket, QJsonObject{
        {QStringLiteral("login"), a.login}, {QStringLiteral("ticket"), ticket}, {QStringLiteral("symbol"), symbol},
        {QStringLiteral("type"), orderType}, {QStringLiteral("volume"), volume}, {QStringLiteral("price"), price},
        {QStringLiteral("s_price"), orderType >= 6 ? stopLimit : 0.0}, {QStringLiteral("sl"), sl},
        {QStringLiteral("tp"), tp}, {QStringLiteral("time"), now()}, {QStringLiteral("digits"), info.digits}});
    return {};
}

void SimTradeServer::openPosition(Account &a, const QString &symbol, int orderType, qint64 volume, double sl,
                                  double tp, qint64 ticket, double price)
{
    const SymbolSpec &info = m_market.symbolInfo(symbol);
    const bool sell = orderType % 2 == 1;
    const qint64 time = now();
    a.positions.insert(ticket, QJsonObject{
        {QStringLiteral("login"), a.login}, {QStringLiteral("ticket"), ticket},
        {QStringLiteral("symbol"), symbol}, {QStringLiteral("type"), sell ? QStringLiteral("sell") : QStringLiteral("buy")},
        {QStringLiteral("volume"), volume}, {QStringLiteral("price_o"), price},
        {QStringLiteral("sl"), sl}, {QStringLiteral("tp"), tp},
        {QStringLiteral("csize"), info.contractSize}, {QStringLiteral("time"), time},
        {QStringLiteral("swap"), 0.0}, {QStringLiteral("fee"), 0.0}, {QStringLiteral("digits"), info.digits}});
    a.historyOrders.append(QJsonObject{
        {QStringLiteral("ticket"), ticket}, {QStringLiteral("symbol"), symbol}, {QStringLiteral("type"), orderType},
        {QStringLiteral("time"), time}, {QStringLiteral("volume"), volume}, {QStringLiteral("price"), price},
        {QStringLiteral("s_price"), 0.0}, {QStringLiteral("sl"), sl}, {QStringLiteral("tp"), tp},
        {QStringLiteral("state"), 4}, {QStringLiteral("digits"), info.digits}});
    a.historyDeals.append(QJsonObject{
        {QStringLiteral("ticket"), nextTicket()}, {QStringLiteral("order"), ticket}, {QStringLiteral("symbol"), symbol},
        {QStringLiteral("type"), sell ? 1 : 0}, {QStringLiteral("time"), time}, {QStringLiteral("volume"), volume},
        {QStringLiteral("price"), price}, {QStringLiteral("profit"), 0.0}, {QStringLiteral("swap"), 0.0},
        {QStringLiteral("commission"), 0.0}, {QStringLiteral("fee"), 0.0}, {QStringLiteral("digits"), info.digits}});
}

void SimTradeServer::applyTriggers()
{
    for (Account *a : qAsConst(m_accounts)) {
        bool changed = false;
        // Stop loss and take profit of open positions, at the price the position closes at.
        QList<qint64> hit;
        for (const QJsonObject &p : qAsConst(a->positions)) {
            const double exit = closePrice(p);
            const double sl = p.value(QLatin1String("sl")).toDouble();
            const double tp = p.value(QLatin1String("tp")).toDouble();
            const bool sell = isSell(p);
            if ((sl > 0 && (sell ? exit >= sl : exit <= sl)) || (tp > 0 && (sell ? exit <= tp : exit >= tp)))
                hit.append(int64Of(p.value(QLatin1String("ticket"))));
        }
        for (const qint64 ticket : qAsConst(hit))
            changed = closePosition(*a, ticket, 0).status == StatusDone || changed;

        // Pending orders: limits fill at a better price, stops at a worse one; a stop limit
        // becomes a limit order at its stop-limit price.
        const QList<qint64> tickets = a->orders.keys();
        for (const qint64 ticket : tickets) {
            QJsonObject &o = a->orders[ticket];
            const QString symbol = o.value(QLatin1String("symbol")).toString();
            if (!m_market.hasSymbol(symbol))
                continue;
            const Quote q = m_market.quote(symbol);
            const int type = o.value(QLatin1String("type")).toInt();
            const double price = o.value(QLatin1String("price")).toDouble();
            const bool buy = type % 2 == 0;
            const double market = buy ? q.ask : q.bid;
            bool triggered = false;
            switch (type) {
            case 2: triggered = market <= price; break;
            case 3: triggered = market >= price; break;
            case 4: case 6: triggered = market >= price; break;
            case 5: case 7: triggered = market <= price; break;
            default: break;
            }
            if (!triggered)
                continue;
            changed = true;
            if (type >= 6) {
                o.insert(QStringLiteral("type"), type - 4);
                o.insert(QStringLiteral("price"), o.value(QLatin1String("s_price")).toDouble());
                o.insert(QStringLiteral("s_price"), 0.0);
                continue;
            }
            const QJsonObject filled = a->orders.take(ticket);
            openPosition(*a, symbol, buy ? 0 : 1, int64Of(filled.value(QLatin1String("volume"))),
                         filled.value(QLatin1String("sl")).toDouble(), filled.value(QLatin1String("tp")).toDouble(),
                         ticket, market);
        }
        if (changed)
            pushAccount(a->login);
    }
}

SimTradeServer::TradeResult SimTradeServer::modifyOrder(Account &a, const QJsonObject &request)
{
    const qint64 ticket = int64Of(request.value(QLatin1String("order_id")));
    if (!a.orders.contains(ticket))
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Order %1 not found").arg(ticket)};
    QJsonObject &o = a.orders[ticket];
    const double price = request.value(QLatin1String("price")).toDouble();
    if (price > 0.0)
        o.insert(QStringLiteral("price"), price);
    for (const char *key : {"s_price", "sl", "tp"}) {
        if (request.contains(QLatin1String(key)))
            o.insert(QLatin1String(key), request.value(QLatin1String(key)).toDouble());
    }
    return {};
}

SimTradeServer::TradeResult SimTradeServer::modifyPosition(Account &a, const QJsonObject &request)
{
    const qint64 ticket = int64Of(request.value(QLatin1String("order_id")));
    if (!a.positions.contains(ticket))
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Position %1 not found").arg(ticket)};
    QJsonObject &p = a.positions[ticket];
    const double exit = closePrice(p);
    const bool sell = isSell(p);
    const double sl = request.value(QLatin1String("sl")).toDouble();
    const double tp = request.value(QLatin1String("tp")).toDouble();
    if ((sl > 0 && (sell ? sl <= exit : sl >= exit)) || (tp > 0 && (sell ? tp >= exit : tp <= exit)))
        return {StatusInvalidStops, QStringLiteral("Invalid stops"),
                QStringLiteral("Stop loss or take profit on the wrong side of the price")};
    p.insert(QStringLiteral("sl"), sl);
    p.insert(QStringLiteral("tp"), tp);
    return {};
}

SimTradeServer::TradeResult SimTradeServer::deleteOrder(Account &a, const QJsonObject &request)
{
    const qint64 ticket = int64Of(request.value(QLatin1String("order_id")));
    if (!a.orders.contains(ticket))
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Order %1 not found").arg(ticket)};
    QJsonObject o = a.orders.take(ticket);
    o.remove(QStringLiteral("login"));
    o.insert(QStringLiteral("state"), 2);
    o.insert(QStringLiteral("time"), now());
    a.historyOrders.append(o);
    return {};
}

SimTradeServer::TradeResult SimTradeServer::closePosition(Account &a, qint64 ticket, qint64 volume)
{
    if (!a.positions.contains(ticket))
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Position %1 not found").arg(ticket)};
    QJsonObject &p = a.positions[ticket];
    const qint64 held = int64Of(p.value(QLatin1String("volume")));
    const qint64 closing = (volume > 0 && volume < held) ? volume : held;
    QJsonObject part = p;
    part.insert(QStringLiteral("volume"), closing);
    const double price = closePrice(part);
    const double profit = profitOf(part);
    const qint64 time = now();
    const QString symbol = p.value(QLatin1String("symbol")).toString();
    const int digits = p.value(QLatin1String("digits")).toInt();
    const int dealType = isSell(p) ? 0 : 1;
    a.balance += profit;
    const qint64 order = nextTicket();
    a.historyPositions.append(QJsonObject{
        {QStringLiteral("ticket"), ticket}, {QStringLiteral("symbol"), symbol}, {QStringLiteral("type"), p.value(QLatin1String("type"))},
        {QStringLiteral("time"), p.value(QLatin1String("time"))}, {QStringLiteral("digits"), digits},
        {QStringLiteral("volume"), closing}, {QStringLiteral("price_o"), p.value(QLatin1String("price_o"))},
        {QStringLiteral("price_c"), price}, {QStringLiteral("sl"), p.value(QLatin1String("sl"))},
        {QStringLiteral("tp"), p.value(QLatin1String("tp"))}, {QStringLiteral("swap"), p.value(QLatin1String("swap"))},
        {QStringLiteral("profit"), profit}});
    a.historyOrders.append(QJsonObject{
        {QStringLiteral("ticket"), order}, {QStringLiteral("symbol"), symbol}, {QStringLiteral("type"), dealType},
        {QStringLiteral("time"), time}, {QStringLiteral("volume"), closing}, {QStringLiteral("price"), price},
        {QStringLiteral("s_price"), 0.0}, {QStringLiteral("sl"), 0.0}, {QStringLiteral("tp"), 0.0},
        {QStringLiteral("state"), 4}, {QStringLiteral("digits"), digits}});
    a.historyDeals.append(QJsonObject{
        {QStringLiteral("ticket"), nextTicket()}, {QStringLiteral("order"), order}, {QStringLiteral("symbol"), symbol},
        {QStringLiteral("type"), dealType}, {QStringLiteral("time"), time}, {QStringLiteral("volume"), closing},
        {QStringLiteral("price"), price}, {QStringLiteral("profit"), profit}, {QStringLiteral("swap"), 0.0},
        {QStringLiteral("commission"), 0.0}, {QStringLiteral("fee"), 0.0}, {QStringLiteral("digits"), digits}});
    if (closing == held)
        a.positions.remove(ticket);
    else
        p.insert(QStringLiteral("volume"), held - closing);
    return {};
}

SimTradeServer::TradeResult SimTradeServer::closeAll(Account &a, int subType)
{
    if (subType < 0 || subType > 2)
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Unknown close-all kind")};
    QList<qint64> tickets;
    for (const QJsonObject &p : a.positions) {
        const double profit = profitOf(p);
        if (subType == 0 || (subType == 1 && profit > 0.0) || (subType == 2 && profit < 0.0))
            tickets.append(int64Of(p.value(QLatin1String("ticket"))));
    }
    for (const qint64 ticket : qAsConst(tickets))
        closePosition(a, ticket, 0);
    return {};
}

SimTradeServer::TradeResult SimTradeServer::closeByHedge(Account &a, const QJsonObject &request)
{
    qint64 ticket = int64Of(request.value(QLatin1String("position_id")));
    if (ticket <= 0)
        ticket = int64Of(request.value(QLatin1String("order_id")));
    const qint64 opposite = int64Of(request.value(QLatin1String("position_by_id")));
    if (!a.positions.contains(ticket) || !a.positions.contains(opposite) || ticket == opposite)
        return {StatusInvalid, QStringLiteral("Invalid request"), QStringLiteral("Position not found")};
    const QJsonObject &p = a.positions[ticket];
    const QJsonObject &by = a.positions[opposite];
    if (p.value(QLatin1String("symbol")) != by.value(QLatin1String("symbol")) || isSell(p) == isSell(by))
        return {StatusInvalid, QStringLiteral("Invalid request"),
                QStringLiteral("Positions are not opposite positions of one symbol")};
    const qint64 volume = qMin(int64Of(p.value(QLatin1String("volume"))), int64Of(by.value(QLatin1String("volume"))));
    closePosition(a, ticket, volume);
    closePosition(a, opposite, volume);
    return {};
}

} // namespace simbroker
