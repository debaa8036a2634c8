#include "tradeclient.h"

#include "logger.h"
#include "marketrecords.h"
#include "trademessages.h"

#include <QAbstractEventDispatcher>
#include <QDate>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QTimer>
#include <QVector>
#include <QWebSocket>

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int PongTimeoutMs = 1500;
constexpr int ReconnectDelayMs = 3000;
constexpr int SendTickMs = 5;
// How long the end of the thread waits for the server to take the close frame.
constexpr int CloseHandshakeMs = 300;
// A reply this long (a few thousand records) leaves enough free in the heap to hand back.
constexpr qint64 TrimAfterChars = qint64(1) << 20;
// Replies emptied by newer ones are compacted away from this many on, once they are half the
// outbox: the outbox stays within twice its live replies.
constexpr int CompactAfterReplaced = 64;
// Outbox codes: the reply codes 2 to 8, an accepted login as 1, and these two without a reply;
// 0 marks a reply replaced by a newer one.
constexpr int ReplacedCode = 0;
constexpr int LoginAcceptedCode = 1;
constexpr int PriceCode = 2;
constexpr int AccountCode = 4;
constexpr int HistoryCode = 5;
constexpr int OrdersCode = 6;
constexpr int SymbolsCode = 8;
constexpr int LoginRefusedCode = -1;
constexpr int SocketLostCode = -2;
constexpr int ChartCode = 3;
constexpr int TradeResultCode = 7;

// Replies delivered each, with nothing to replace them while they wait.
bool deliveredOnce(int code)
{
    return code == LoginAcceptedCode || code == LoginRefusedCode || code == SocketLostCode
        || code == ChartCode || code == TradeResultCode;
}

// The newest `limit` of the records by their "time", read as the records read it; of records
// of one time the later in the array counts as the newer. They keep their order in the array.
QJsonArray newestRecords(const QJsonArray &records, int limit)
{
    std::vector<std::pair<qint64, int>> byTime;
    byTime.reserve(size_t(records.size()));
    for (int i = 0; i < records.size(); ++i)
        byTime.emplace_back(JsonRead::int64(records.at(i).toObject().value(QLatin1String("time"))), i);
    const auto newest = byTime.begin() + limit;
    std::nth_element(byTime.begin(), newest, byTime.end(), std::greater<>());
    std::vector<int> places;
    places.reserve(size_t(limit));
    for (auto it = byTime.begin(); it != newest; ++it)
        places.push_back(it->second);
    std::sort(places.begin(), places.end());
    QJsonArray kept;
    for (const int place : places)
        kept.append(records.at(place));
    return kept;
}

const QString TerminalSource = QStringLiteral("Terminal");
const QString NetworkSource = QStringLiteral("Network");

void journal(const QString &source, const QString &message)
{
    Logger::instance()->log(source, message);
}

} // namespace

TradeClient::TradeClient(QObject *parent)
    : QThread(parent)
    , queueMutex(new QMutex)
{
}

TradeClient::~TradeClient()
{
    loggedIn = false;
    stopThread();
    dropOutbox();
    delete queueMutex;
}

bool TradeClient::connectToServer(const QString &urlText, qint64 newLogin, const QString &newPassword,
                                  const QString &newServerName)
{
    // Parsed, not as text: QUrl lowercases the host, so "ws://Host" and "ws://host" are one server.
    const QUrl newUrl(urlText);
    const bool changed = !sameValues(newUrl, newLogin, newPassword, newServerName);
    if (!changed && loggedIn.load())
        return false;

    loggedIn = false;
    stopThread();
    // A login reply handled while the old thread was ending must not count for the new run.
    loggedIn = false;

    url = newUrl;
    login = newLogin;
    setAccountPassword(newPassword);
    serverName = newServerName;
    {
        QMutexLocker locker(queueMutex);
        acceptingRequests = true;
    }
    journal(TerminalSource, QStringLiteral("%1 try to connect to %2").arg(login).arg(serverName));
    start(QThread::InheritPriority);
    return changed;
}

bool TradeClient::sameValues(const QUrl &otherUrl, qint64 otherLogin, const QString &otherPassword,
                             const QString &otherServerName) const
{
    return otherUrl == url && otherLogin == login && otherPassword == accountPassword()
        && otherServerName == serverName;
}

bool TradeClient::isCurrentSession(const QString &urlText, qint64 otherLogin,
                                   const QString &otherPassword, const QString &otherServerName) const
{
    // Parsed, as connectToServer compares it.
    return loggedIn.load() && sameValues(QUrl(urlText), otherLogin, otherPassword, otherServerName);
}

QString TradeClient::accountPassword() const
{
    QMutexLocker locker(&passwordMutex);
    return password;
}

void TradeClient::setAccountPassword(const QString &newPassword)
{
    QMutexLocker locker(&passwordMutex);
    password = newPassword;
}

void TradeClient::logout()
{
    loggedIn = false;
    stopThread();
    loggedIn = false;
    journal(TerminalSource, QStringLiteral("%1 Log out from %2").arg(login).arg(serverName));
}

bool TradeClient::shutdown(int timeoutMs)
{
    loggedIn = false;
    if (!isRunning())
        return true;
    ++currentRun;
    quit();
    const bool ended = wait(static_cast<unsigned long>(qMax(0, timeoutMs)));
    if (ended)
        loggedIn = false;
    dropOutbox();
    return ended;
}

void TradeClient::shutdownAndFree(TradeClient *client, int timeoutMs)
{
    if (client->shutdown(timeoutMs))
        delete client;
}

void TradeClient::stopThread()
{
    if (!isRunning())
        return;
    ++currentRun;
    quit();
    wait();
    dropOutbox();
}

void TradeClient::dropOutbox()
{
    // What a stopped run left is never delivered (its run is no longer current); dropping it
    // here only frees it. A delivery already posted finds the outbox empty.
    QMutexLocker locker(&outboxMutex);
    restartSymbolLists();
    outbox.clear();
    ++outboxBatch;
    std::fill(std::begin(waitingSnapshot), std::end(waitingSnapshot), -1);
    replaced = 0;
    waitingOnce = 0;
    waitingOnceChars = 0;
}

void TradeClient::sendRequest(QJsonObject request)
{
    if (login == 0)
        return;
    if (!request.contains(QLatin1String("login")))
        request.insert(QStringLiteral("login"), login);
    const QString text = QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact));
    if (TradeMessages::asksChartHistory(request)) {
        const TradeMessages::ChartSeries series = TradeMessages::chartSeriesOf(request);
        queueMessage(text, &series);
    } else {
        queueMessage(text, nullptr);
    }
}

void TradeClient::sendMessage(const QString &text)
{
    queueMessage(text, nullptr);
}

void TradeClient::queueMessage(const QString &text, const TradeMessages::ChartSeries *chart)
{
    if (text.isEmpty())
        return;
    QMutexLocker locker(queueMutex);
    if (!acceptingRequests)
        return;
    // The client thread empties the queue every send tick; a queue this full means it cannot,
    // and what it cannot send is the send limit's concern.
    if (queuedChars + text.size() > sendLimit.load()) {
        sendOverflow = true;
        return;
    }
    sendQueue.append(text);
    queuedChars += text.size();
    if (chart)
        queuedChartRequests.append(*chart);
}

void TradeClient::requestTradeHistory(int days)
{
    const QDate today = QDate::currentDate();
    const qint64 from = today.addDays(days).startOfDay().toSecsSinceEpoch();
    const qint64 to = today.addDays(1).startOfDay().toSecsSinceEpoch();
    sendRequest(TradeMessages::tradeHistoryRequest(from, to));
}

QJsonObject TradeClient::parseMessage(const QString &msg)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(msg.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        // A hostile frame may be hundreds of megabytes: its start tells enough.
        qDebug().noquote() << "Invalid JSON...\n" << msg.left(MaxTracedChars)
                           << QStringLiteral("(%1 characters)").arg(msg.size()) << '\n';
        return {};
    }
    if (!document.isObject()) {
        qDebug() << "Document is not an object" << '\n';
        return {};
    }
    return document.object();
}

void TradeClient::run()
{
    runOfThread = currentRun.load();
    trackedSymbols.clear();
    chartRequests.clear();
    runSymbolLimit = qMax(0, symbolLimit.load());
    runHeldRecordLimit = qMax(0, heldRecordLimit.load());
    runHistoryRecordLimit = qMax(0, historyRecordLimit.load());
    symbolLimitMet = symbolLimitReported = false;
    socket = new QWebSocket(QString(), QWebSocketProtocol::Version13);
    sendTimer = new QTimer;
    pingTimer = new QTimer;
    pongTimer = new QTimer;
    pongTimer->setSingleShot(true);
    pongTimer->setTimerType(Qt::PreciseTimer);
    reconnectTimer = new QTimer;
    reconnectTimer->setSingleShot(true);
    reconnectTimer->setTimerType(Qt::CoarseTimer);
    openTimer = new QTimer;
    openTimer->setSingleShot(true);
    connected = false;
    // A frame over the limit is refused at its header, before its payload is taken in; a message
    // of many frames when its frames add up to more.
    const qint64 largestReply = replyLimit.load();
    backlogChars = largestReply / 4;
    socket->setMaxAllowedIncomingFrameSize(quint64(largestReply));
    socket->setMaxAllowedIncomingMessageSize(quint64(largestReply));

    // Direct connections: every handler runs here, in the thread that owns the socket.
    connect(socket, &QWebSocket::connected, this, &TradeClient::onConnected, Qt::DirectConnection);
    connect(socket, &QWebSocket::disconnected, this, &TradeClient::closed, Qt::DirectConnection);
    connect(socket, &QWebSocket::textMessageReceived, this, &TradeClient::onMessageReceived,
            Qt::DirectConnection);
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            [this](QAbstractSocket::SocketError error) {
                qDebug() << "WebSocket error: " << error;
                onError(error);
            },
            Qt::DirectConnection);
    connect(socket, &QWebSocket::pong, this, &TradeClient::onPong, Qt::DirectConnection);
    // On a reply over the limit the socket closes by itself with code 1009. The code stays on the
    // socket after the loss, so it is read as the close begins, not at the loss.
    replyOverLimit = false;
    connect(socket, &QWebSocket::aboutToClose, this,
            [this] { replyOverLimit = socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData; },
            Qt::DirectConnection);
    connect(pingTimer, &QTimer::timeout, this, &TradeClient::pingToServer, Qt::DirectConnection);
    connect(sendTimer, &QTimer::timeout, this, &TradeClient::sendQueuedMessages, Qt::DirectConnection);
    connect(pongTimer, &QTimer::timeout, this, &TradeClient::forceDisconnect, Qt::DirectConnection);
    connect(reconnectTimer, &QTimer::timeout, this, &TradeClient::reconnect, Qt::DirectConnection);
    connect(openTimer, &QTimer::timeout, this, &TradeClient::onOpenTimeout, Qt::DirectConnection);

    sendTimer->start(SendTickMs);
    openSocket();

    exec();

    delete sendTimer;
    delete pingTimer;
    delete pongTimer;
    delete reconnectTimer;
    delete openTimer;
    sendTimer = pingTimer = pongTimer = reconnectTimer = openTimer = nullptr;
    closeSocketForExit();
    connected = false;

    QMutexLocker locker(queueMutex);
    acceptingRequests = false;
    sendQueue.clear();
    queuedChartRequests.clear();
    queuedChars = 0;
    sendOverflow = false;
}

void TradeClient::closeSocketForExit()
{
    // The handlers stay quiet from here: the thread is ending, so no loss is reported and no
    // reconnection is scheduled.
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState) {
        socket->close(QWebSocketProtocol::CloseCodeNormal);
        // The thread's event loop has ended, so the socket is driven here until the close frame
        // is out, for a bounded time: a silent server must not hold up the caller.
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.start(CloseHandshakeMs);
        QAbstractEventDispatcher *dispatcher = eventDispatcher();
        while (dispatcher && deadline.isActive() && socket->state() != QAbstractSocket::UnconnectedState)
            dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    }
    delete socket;
    socket = nullptr;
}

void TradeClient::openSocket()
{
    openTimer->start(openTimeoutMs.load());
    socket->open(url);
    // A server's pong cannot overtake a frame it is still sending, and the WebSocket tells of a
    // frame only once it is whole: the bytes of its TCP link show that the server is alive
    // meanwhile. The socket makes a new link at each open and deletes the old one later, so the
    // newest child is this connection's. Without a link to watch, the pong alone counts.
    sinceLastBytes.invalidate();
    const QList<QAbstractSocket *> links = socket->findChildren<QAbstractSocket *>(QString(), Qt::FindDirectChildrenOnly);
    if (!links.isEmpty())
        connect(links.last(), &QIODevice::readyRead, this, [this] { sinceLastBytes.start(); }, Qt::DirectConnection);
}

void TradeClient::onOpenTimeout()
{
    // A server that takes the TCP connection but never finishes the handshake would hold the
    // attempt for good: it is given up as a lost connection, retried while logged in.
    const QAbstractSocket::SocketState state = socket->state();
    if (state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState)
        return;
    qDebug() << "WebSocket open timed out";
    if (loggedIn.load())
        journal(NetworkSource, QStringLiteral("Network not found"));
    loseSocket();
}

void TradeClient::loseSocket()
{
    const quint64 lossesBefore = losses;
    socket->abort();
    // The socket reports the abort as its loss when its TCP link was up; otherwise it is
    // reported here, so the connection ends either way.
    if (losses == lossesBefore)
        closed();
}

void TradeClient::onConnected()
{
    openTimer->stop();
    sinceLastFrame.invalidate();
    pingTimer->start(keepAliveMs.load());
    qDebug() << "timer thread:" << pingTimer->thread() << "current thread: " << QThread::currentThread()
             << "thread:" << thread();
    connected = true;
    // The tracked symbols stay for the run; the journal hears of the limit once a connection.
    symbolLimitReported = false;
    symbolTextsReported = false;
    // A reply answers a request of its own connection: what the last one left unanswered stays
    // so.
    chartRequests.clear();
    unaskedChartReported = false;
    backlogDropped = false;
    journal(NetworkSource, QStringLiteral("Connected to %1").arg(serverName));

    QJsonObject request;
    request.insert(QStringLiteral("req_code"), 1);
    request.insert(QStringLiteral("id"), login);
    request.insert(QStringLiteral("password"), accountPassword());
    request.insert(QStringLiteral("type"), 3);
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
}

void TradeClient::closed()
{
    ++losses;
    if (std::exchange(replyOverLimit, false)) {
        journal(NetworkSource, QStringLiteral("Reply from %1 larger than %2 MB: connection dropped")
                                   .arg(serverName, QString::number(double(replyLimit.load()) / (1 << 20))));
    }
    if (connected)
        journal(NetworkSource, QStringLiteral("Disconnected from %1").arg(serverName));
    connected = false;
    if (loggedIn.load())
        scheduleReconnect();
    deliver(SocketLostCode);
}

void TradeClient::onMessageReceived(QString msg)
{
    // Every frame postpones the next ping. Restarting the timer for each of hundreds of price
    // frames a second would cost more than the parse; the ping handler measures the silence.
    sinceLastFrame.start();
    replyChars = msg.size();
    processMessage(parseMessage(msg));
#ifdef __GLIBC__
    // The parse of a large reply leaves its many small blocks free in this thread's heap, where
    // nothing the window builds from the reply can use them: they go back to the system.
    if (replyChars >= TrimAfterChars)
        malloc_trim(0);
#endif
}

void TradeClient::processMessage(const QJsonObject &message)
{
    const int code = message.value(QLatin1String("res_code")).toInt();
    // Checked before the reply is handled at all: a login reply would otherwise write its
    // journal line.
    if ((code == 1 || code == ChartCode || code == TradeResultCode) && backlogFull())
        return;
    switch (code) {
    case 1: {
        const int state = message.value(QLatin1String("state")).toInt();
        qDebug() << "login state" << state;
        if (state == 0) {
            // A refused login ends the logged-in state: retrying the same refused account every
            // few seconds would only raise the failure again and again.
            loggedIn = false;
            journal(TerminalSource, QStringLiteral("%1 login failed to %2").arg(login).arg(serverName));
            deliver(LoginRefusedCode);
        } else {
            loggedIn = true;
            journal(TerminalSource,
                    QStringLiteral("%1 login to %2 successfully ").arg(login).arg(serverName));
            deliver(LoginAcceptedCode, message);
        }
        break;
    }
    case 3:
        if (answersChartRequest(message)) {
            deliver(code, message);
        } else if (!std::exchange(unaskedChartReported, true)) {
            journal(NetworkSource, QStringLiteral("%1 sent chart history that was not asked for: ignored")
                                       .arg(serverName));
        }
        break;
    case 2: case 4: case 5: case 6: case 7: case 8: {
        // Cut before anything is kept of it: only the records the window gets name held symbols.
        const QJsonObject kept = keepNewestRecords(code, message);
        trackHeldSymbols(code, kept);
        deliver(code, kept);
        break;
    }
    default: break;
    }
    if (std::exchange(symbolLimitMet, false) && !std::exchange(symbolLimitReported, true)) {
        journal(NetworkSource,
                QStringLiteral("%1 named more than %2 symbols, or longer names than the terminal keeps: "
                               "those are ignored")
                    .arg(serverName).arg(runSymbolLimit));
    }
    if (std::exchange(symbolTextsCut, false) && !std::exchange(symbolTextsReported, true)) {
        journal(NetworkSource, QStringLiteral("%1 sent symbol texts longer than %2 characters: those are cut")
                                   .arg(serverName).arg(MaxSymbolTextChars));
    }
}

bool TradeClient::backlogFull()
{
    // What the connection sends after it was given up waits for no window.
    if (backlogDropped)
        return true;
    {
        QMutexLocker locker(&outboxMutex);
        if (waitingOnce < MaxWaitingReplies && waitingOnceChars < backlogChars)
            return false;
    }
    backlogDropped = true;
    journal(NetworkSource, QStringLiteral("Replies from %1 came faster than the terminal takes them: "
                                          "connection dropped").arg(serverName));
    // Not from within the socket's own handler: the loss runs once this reply is done.
    QTimer::singleShot(0, socket, [this] {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            loseSocket();
    });
    return true;
}

bool TradeClient::answersChartRequest(const QJsonObject &message)
{
    // One reply per request: a server answering one request again and again, or answering
    // none, would otherwise grow the keeper's series and cache files without end.
    const auto asked = chartRequests.find(TradeMessages::chartSeriesOf(message));
    if (asked == chartRequests.end())
        return false;
    if (--asked.value() == 0)
        chartRequests.erase(asked);
    return true;
}

bool TradeClient::trackSymbol(const QString &name, bool held)
{
    // A reply without a name names nothing the window keeps: it takes no place.
    if (name.isEmpty())
        return false;
    if (trackedSymbols.contains(name))
        return true;
    if (name.size() > MaxSymbolNameChars) {
        symbolLimitMet = true;
        return false;
    }
    // Held symbols have room of their own past the limit, as many again.
    if (trackedSymbols.size() >= (held ? 2 * qint64(runSymbolLimit) : qint64(runSymbolLimit))) {
        symbolLimitMet = true;
        return false;
    }
    trackedSymbols.insert(name, TrackedSymbol());
    return true;
}

void TradeClient::trackHeldSymbols(int code, const QJsonObject &message)
{
    if (code != OrdersCode && !(code == AccountCode && TradeMessages::replacesPositions(message)))
        return;
    // Read as the records read them.
    for (const QJsonValue record : message.value(QLatin1String("array")).toArray())
        trackSymbol(JsonRead::text(record.toObject().value(QLatin1String("symbol"))), true);
}

QJsonObject TradeClient::keepNewestRecords(int code, const QJsonObject &message)
{
    const bool positions = code == AccountCode && TradeMessages::replacesPositions(message);
    if (!positions && code != OrdersCode && code != HistoryCode)
        return message;
    const int limit = code == HistoryCode ? runHistoryRecordLimit : runHeldRecordLimit;
    static const QStringList recordArrays{QStringLiteral("array")};
    static const QStringList historyArrays{QStringLiteral("positions"), QStringLiteral("orders"),
                                           QStringLiteral("deals")};
    const QStringList &keys = code == HistoryCode ? historyArrays : recordArrays;
    QHash<QString, QJsonArray> cut;
    int sent = 0;
    for (const QString &key : keys) {
        const QJsonArray records = message.value(key).toArray();
        if (records.size() <= limit)
            continue;
        sent = qMax(sent, records.size());
        cut.insert(key, newestRecords(records, limit));
    }
    if (cut.isEmpty())
        return message;
    // Built anew rather than changed: a change would first copy the whole reply.
    QJsonObject kept;
    for (auto it = message.begin(); it != message.end(); ++it) {
        const auto replaced = cut.constFind(it.key());
        kept.insert(it.key(), replaced != cut.cend() ? QJsonValue(replaced.value()) : it.value());
    }
    if (code == HistoryCode) {
        journal(NetworkSource, QStringLiteral("%1 sent more trade history than the terminal shows (%2 records of a kind): "
                                              "the newest %3 of each are shown; choose a shorter period")
                                   .arg(serverName).arg(sent).arg(limit));
    } else {
        journal(NetworkSource, QStringLiteral("%1 sent %2 %3: the terminal shows the newest %4")
                                   .arg(serverName).arg(sent)
                                   .arg(positions ? QStringLiteral("open positions") : QStringLiteral("pending orders"))
                                   .arg(limit));
    }
    return kept;
}

int TradeClient::snapshotOf(int code, const QJsonObject &message)
{
    switch (code) {
    case AccountCode:
        return TradeMessages::replacesPositions(message) ? AccountPositions : AccountFigures;
    case OrdersCode: return Orders;
    case HistoryCode: return History;
    default: return NoSnapshot;
    }
}

void TradeClient::replaceWaiting(int &index)
{
    if (index < 0)
        return;
    Reply &old = outbox[size_t(index)];
    old.code = ReplacedCode;
    old.message = QJsonObject();
    ++replaced;
    index = -1;
}

void TradeClient::restartSymbolLists()
{
    if (namedSymbolListWaiting && waitingSnapshot[Symbols] >= 0) {
        outbox[size_t(waitingSnapshot[Symbols])].message =
            QJsonObject{{QStringLiteral("res_code"), SymbolsCode}, {QStringLiteral("array"), gatheredList}};
    }
    namedSymbolListWaiting = false;
    waitingSnapshot[Symbols] = -1;
    gatheredSymbols.clear();
    gatheredList = QJsonArray();
}

void TradeClient::deliverSymbolList(const QJsonObject &message)
{
    const int next = int(outbox.size());
    // Of each element only what the store reads waits for the window, its texts cut to their
    // bound: a real broker's list may carry long trading hours or descriptions, and its symbols
    // must still be listed. A symbol is left out for its name alone (past the symbol limit, or
    // too long), and an element without a name, which the store skips, goes too.
    const QJsonArray received = message.value(QLatin1String("array")).toArray();
    QVector<QString> names;
    QVector<int> keptAt;
    bool leftOut = false;
    for (int i = 0; i < received.size(); ++i) {
        QString name = JsonRead::text(received.at(i).toObject().value(QLatin1String("symbol")));
        if (!trackSymbol(name)) {
            leftOut |= !name.isEmpty();
            continue;
        }
        keptAt.append(i);
        names.append(std::move(name));
    }
    const bool named = !names.isEmpty();
    // A list of nothing but symbols past the limit would only have the window redo its work.
    if (leftOut && !named)
        return;
    // Trimmed only once every name is tracked: the names, kept for the run, then lie together
    // rather than among trimmed copies freed as soon as the window has them (bench_livetables,
    // 50,000 names at the bounds: 5.6 KB a name resident when trimmed in the same pass, 4.8 KB so).
    QJsonArray elements;
    for (const int i : qAsConst(keptAt))
        elements.append(trimSymbolElement(received.at(i).toObject(), MaxSymbolTextChars, symbolTextsCut));
    if (!namedSymbolListWaiting) {
        replaceWaiting(waitingSnapshot[Symbols]);
        namedSymbolListWaiting = named;
        if (!namedSymbolListWaiting)
            waitingSnapshot[Symbols] = next;
        // Built anew, as the gathered list is: a copy of the reply with its array replaced would
        // still hold the elements as they came.
        outbox.push_back(Reply{runOfThread, SymbolsCode,
                               QJsonObject{{QStringLiteral("res_code"), SymbolsCode}, {QStringLiteral("array"), elements}}});
        return;
    }
    if (!named)
        return;
    for (int i = 0; i < elements.size(); ++i) {
        const QString &name = names.at(i);
        const QJsonValue element = elements.at(i);
        const auto at = gatheredSymbols.constFind(name);
        if (at != gatheredSymbols.cend()) {
            gatheredList.replace(at.value(), element);
        } else {
            gatheredSymbols.insert(name, gatheredList.size());
            gatheredList.append(element);
        }
    }
    // Only the place moves, to the newest list's; the list is written there when the gathering
    // ends, so it is never copied while it grows.
    replaceWaiting(waitingSnapshot[Symbols]);
    waitingSnapshot[Symbols] = next;
    outbox.push_back(Reply{runOfThread, SymbolsCode, QJsonObject()});
}

void TradeClient::deliver(int code, const QJsonObject &message)
{
    bool post = false;
    {
        QMutexLocker locker(&outboxMutex);
        const int next = int(outbox.size());
        const int snapshot = snapshotOf(code, message);
        // The window empties the store at a login: no list before it may take one after it.
        if (code == LoginAcceptedCode)
            restartSymbolLists();
        if (code == SymbolsCode) {
            deliverSymbolList(message);
        } else if (code == PriceCode) {
            const QString symbol = message.value(QLatin1String("symbol")).toString();
            auto tracked = trackedSymbols.find(symbol);
            if (tracked == trackedSymbols.end()) {
                if (!trackSymbol(symbol))
                    return;
                tracked = trackedSymbols.find(symbol);
            }
            if (tracked->batch == outboxBatch)
                replaceWaiting(tracked->waitingPrice);
            tracked->waitingPrice = next;
            tracked->batch = outboxBatch;
        } else if (snapshot != NoSnapshot) {
            // The account's figures of a reply that brings no positions are in every newer
            // account reply; the positions only in one that brings positions.
            if (snapshot == AccountPositions)
                replaceWaiting(waitingSnapshot[AccountFigures]);
            replaceWaiting(waitingSnapshot[snapshot]);
            waitingSnapshot[snapshot] = next;
        }
        if (code != SymbolsCode)
            outbox.push_back(Reply{runOfThread, code, message});
        if (deliveredOnce(code)) {
            ++waitingOnce;
            waitingOnceChars += code == SocketLostCode ? 0 : replyChars;
        }
        if (replaced >= CompactAfterReplaced && replaced * 2 >= int(outbox.size())) {
            // Each waiting index follows the very reply it named: a symbol list from before a
            // login is of the kind of the one gathered since, but must never be taken for it.
            std::vector<Reply> live;
            live.reserve(outbox.size() - replaced);
            int moved[Snapshots];
            std::fill(std::begin(moved), std::end(moved), -1);
            for (size_t i = 0; i < outbox.size(); ++i) {
                Reply &reply = outbox[i];
                if (reply.code == ReplacedCode)
                    continue;
                const int at = int(live.size());
                if (reply.code == PriceCode) {
                    const auto tracked = trackedSymbols.find(reply.message.value(QLatin1String("symbol")).toString());
                    if (tracked != trackedSymbols.end())
                        tracked->waitingPrice = at;
                }
                for (int kind = 0; kind < Snapshots; ++kind) {
                    if (waitingSnapshot[kind] == int(i))
                        moved[kind] = at;
                }
                live.push_back(std::move(reply));
            }
            std::copy(std::begin(moved), std::end(moved), std::begin(waitingSnapshot));
            outbox.swap(live);
            replaced = 0;
        }
        post = !deliveryPosted;
        deliveryPosted = true;
    }
    // One queued call per batch: the GUI thread takes whatever the outbox holds when it runs.
    if (post)
        QMetaObject::invokeMethod(this, [this] { deliverReplies(); }, Qt::QueuedConnection);
}

void TradeClient::deliverReplies()
{
    // A receiver may run a nested event loop (a dialog) and with it the next delivery: that one
    // first emits the rest of this batch, so replies keep their order. Each delivery takes the
    // outbox exactly once, as each was posted for one take.
    emitTaken();
    {
        QMutexLocker locker(&outboxMutex);
        restartSymbolLists();
        taken.swap(outbox);
        outbox.clear();
        ++outboxBatch;
        std::fill(std::begin(waitingSnapshot), std::end(waitingSnapshot), -1);
        replaced = 0;
        waitingOnce = 0;
        waitingOnceChars = 0;
        deliveryPosted = false;
    }
    takenNext = 0;
    emitTaken();
}

void TradeClient::emitTaken()
{
    while (takenNext < taken.size()) {
        const Reply reply = std::move(taken[takenNext++]);
        // The stop bumps currentRun before it asks the thread to quit, so whatever a run put in
        // the outbox from then on, or before but not yet emitted, is dropped here.
        if (reply.run == currentRun.load())
            emitReply(reply);
    }
    taken.clear();
    takenNext = 0;
}

void TradeClient::emitReply(const Reply &reply)
{
    switch (reply.code) {
    case LoginAcceptedCode: emit loginSuccess(reply.message); break;
    case PriceCode: emit symbolPriceReceived(reply.message); break;
    case 3: emit chartHistoryReceived(reply.message); break;
    case 4: emit openPositionsReceived(reply.message); break;
    case 5: emit tradeHistoryReceived(reply.message); break;
    case 6: emit pendingOrdersReceived(reply.message); break;
    case 7: emit tradeResponseReceived(reply.message); break;
    case 8: emit symbolListReceived(reply.message); break;
    case LoginRefusedCode: emit loginFail(); break;
    case SocketLostCode: emit websocketDisconnected(); break;
    default: break;
    }
}

void TradeClient::scheduleReconnect()
{
    // An error and the loss of the same socket both ask for a reconnection: one is enough, a
    // second open() would drop the connection the first one just made.
    if (reconnectTimer && !reconnectTimer->isActive())
        reconnectTimer->start(ReconnectDelayMs);
}

void TradeClient::reconnect()
{
    if (login == 0 || !loggedIn.load() || url.isEmpty())
        return;
    if (connected)
        journal(NetworkSource, QStringLiteral("Retry to connect to %1").arg(serverName));
    connected = false;
    openSocket();
}

void TradeClient::onError(QAbstractSocket::SocketError error)
{
    if (connected) {
        journal(NetworkSource, error <= QAbstractSocket::RemoteHostClosedError
                                   ? QStringLiteral("Network closed forcely")
                                   : QStringLiteral("Network not found"));
    }
    scheduleReconnect();
}

void TradeClient::pingToServer()
{
    const int keepAlive = keepAliveMs.load();
    const qint64 silence = sinceLastFrame.isValid() ? sinceLastFrame.elapsed() : keepAlive;
    if (silence < keepAlive) {
        pingTimer->start(int(keepAlive - silence));
        return;
    }
    pingTimer->start(keepAlive);
    if (!connected)
        return;
    socket->ping();
    pongPending = true;
    pongTimer->start(PongTimeoutMs);
}

void TradeClient::onPong()
{
    qDebug() << "Websocket pong";
    pongPending = false;
}

void TradeClient::forceDisconnect()
{
    if (!pongPending || !connected)
        return;
    // Bytes still arriving since the ping: the pong waits behind them. The wait is counted anew
    // from the last of them, so a server that stops in the middle of a frame is dropped all the
    // same.
    const qint64 sinceBytes = sinceLastBytes.isValid() ? sinceLastBytes.elapsed() : PongTimeoutMs;
    if (sinceBytes < PongTimeoutMs) {
        pongTimer->start(int(PongTimeoutMs - sinceBytes));
        return;
    }
    qDebug() << "force disconnected";
    socket->close(QWebSocketProtocol::CloseCodeAbnormalDisconnection);
}

void TradeClient::sendQueuedMessages()
{
    QStringList pending;
    QVector<TradeMessages::ChartSeries> charts;
    bool overflowed = false;
    {
        QMutexLocker locker(queueMutex);
        pending.swap(sendQueue);
        charts.swap(queuedChartRequests);
        queuedChars = 0;
        overflowed = std::exchange(sendOverflow, false);
    }
    // Requests are fire-and-forget: one taken while the socket is not open is dropped, never
    // held for a later connection.
    if (socket->state() != QAbstractSocket::ConnectedState || (pending.isEmpty() && !overflowed))
        return;
    for (const QString &text : qAsConst(pending)) {
        if (!text.isEmpty())
            socket->sendTextMessage(text);
    }
    // Sent on this connection, so this connection may answer them.
    for (const TradeMessages::ChartSeries &series : qAsConst(charts))
        ++chartRequests[series];
    // Handed to the kernel now, so what stays is what the server has not taken.
    socket->flush();
    if (overflowed || socket->bytesToWrite() > sendLimit.load()) {
        qDebug() << "WebSocket send limit reached:" << socket->bytesToWrite() << "bytes unsent";
        loseSocket();
    }
}
