#include "hostilepeers.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <chrono>

namespace simbroker {

namespace {

// What may wait to leave, in the server's buffer and in the kernel's send buffer each: a flood
// that the client cannot take at once waits for it rather than piling up on the way.
constexpr qint64 SendBufferLimit = 256 * 1024;

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// Lives in the server's thread: the listening socket, the connections and the flood.
class FloodServer::Worker : public QObject
{
public:
    explicit Worker(FloodServer *owner)
        : owner(owner)
        , pace(new QTimer(this))
    {
        pace->setTimerType(Qt::PreciseTimer);
        connect(pace, &QTimer::timeout, this, &Worker::sendDue);
    }
    ~Worker() override
    {
        qDeleteAll(sockets);
        delete server;
        delete tcpServer;
    }

    bool listen(const QHostAddress &address, quint16 port)
    {
        // The TCP side is taken here so every connection sends at once: Nagle's wait for the
        // peer's delayed acknowledgement would add 40 ms to a lone reply.
        tcpServer = new QTcpServer;
        if (!tcpServer->listen(address, port))
            return false;
        server = new QWebSocketServer(QStringLiteral("flood"), QWebSocketServer::NonSecureMode);
        connect(tcpServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = tcpServer->nextPendingConnection()) {
                tcpSockets.append(socket);
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(SendBufferLimit));
                server->handleConnection(socket);
            }
        });
        connect(server, &QWebSocketServer::newConnection, this, &Worker::accept);
        return true;
    }
    QUrl url() const
    {
        QUrl result;
        result.setScheme(QStringLiteral("ws"));
        result.setHost(tcpServer->serverAddress().toString());
        result.setPort(tcpServer->serverPort());
        return result;
    }

    void start(const Plan &newPlan)
    {
        plan = newPlan;
        report = Report();
        description = QString(qMax(0, plan.descriptionLength), QLatin1Char('d'));
        clock.start();
        pace->start(1);
    }

    void stopReading()
    {
        for (QTcpSocket *socket : qAsConst(tcpSockets)) {
            if (!socket)
                continue;
            // The WebSocket reads on readyRead: without it, and with a small buffer, the socket
            // stops taking bytes from the kernel.
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
            socket->setReadBufferSize(4096);
            disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        }
    }

    void sendLargeReply(const QByteArray &head, const std::function<QByteArray(qint64)> &record, qint64 count,
                        const QByteArray &tail, const QString &trailer, const Pace &pace)
    {
        const bool paced = pace.intervalMs > 0;
        // The length is needed before the first byte: the records are made twice, once to count.
        qint64 length = head.size() + tail.size();
        for (qint64 i = 0; i < count; ++i)
            length += record(i).size();
        // A final text frame with the 64-bit length form; a server's frames are not masked.
        QByteArray header("\x81\x7f");
        for (int shift = 56; shift >= 0; shift -= 8)
            header.append(char((length >> shift) & 0xff));
        const qint64 startNs = steadyNs();
        // What the connections had read and not handed on: more than that is the client's since.
        qint64 unreadBefore = 0;
        for (QTcpSocket *socket : qAsConst(tcpSockets)) {
            if (!socket)
                continue;
            // Its WebSocket would write a pong into the middle of the frame.
            socket->blockSignals(paced);
            socket->write(header + head);
            unreadBefore += socket->bytesAvailable();
        }
        const auto pinged = [this, unreadBefore] {
            qint64 unread = 0;
            for (QTcpSocket *socket : qAsConst(tcpSockets))
                unread += socket ? socket->bytesAvailable() : 0;
            return unread > unreadBefore;
        };
        auto *feed = new QTimer(this);
        connect(feed, &QTimer::timeout, this, [=, next = qint64(0)]() mutable {
            for (QTcpSocket *socket : qAsConst(tcpSockets)) {
                if (socket && socket->bytesToWrite() > SendBufferLimit)
                    return;
            }
            if (pace.stopAfterPing && pinged()) {
                feed->deleteLater();
                feed->stop();
                return;
            }
            QByteArray piece;
            const qint64 end = paced ? qMin(count, next + pace.records) : count;
            for (; next < end && piece.size() < 64 * 1024; ++next)
                piece += record(next);
            const bool last = next == count;
            if (last) {
                piece += tail;
                feed->deleteLater();
                feed->stop();
            }
            for (QTcpSocket *socket : qAsConst(tcpSockets)) {
                if (socket)
                    socket->write(piece);
            }
            if (!last)
                return;
            for (QTcpSocket *socket : qAsConst(tcpSockets)) {
                // What arrived meanwhile (a ping) is read now, after the frame.
                if (socket && paced) {
                    socket->blockSignals(false);
                    emit socket->readyRead();
                }
            }
            const qint64 endNs = steadyNs();
            for (const QString &frame : trailer.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                sendToAll(frame);
            QMetaObject::invokeMethod(owner, [owner = owner, length, startNs, endNs] { emit owner->largeReplySent(length, startNs, endNs); },
                                      Qt::QueuedConnection);
        });
        feed->start(pace.intervalMs);
    }

    void sendText(const QString &text) { sendToAll(text); }

private:
    void accept()
    {
        while (QWebSocket *socket = server->nextPendingConnection()) {
            const int id = ++nextId;
            sockets.append(socket);
            connect(socket, &QWebSocket::textMessageReceived, this, [this, socket, id](const QString &text) {
                owner->record(id, text);
                const QJsonObject request = QJsonDocument::fromJson(text.toUtf8()).object();
                if (request.value(QLatin1String("req_code")).toInt() != 1)
                    return;
                socket->sendTextMessage(QString::fromUtf8(QJsonDocument(QJsonObject{
                    {QStringLiteral("res_code"), 1}, {QStringLiteral("state"), 1},
                    {QStringLiteral("login"), request.value(QLatin1String("id"))},
                    {QStringLiteral("name"), QStringLiteral("Flood")},
                    {QStringLiteral("group"), QStringLiteral("demo")}}).toJson(QJsonDocument::Compact)));
                if (!loggedIn.contains(socket)) {
                    loggedIn.append(socket);
                    ++owner->loggedIn;
                }
            });
            connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                if (loggedIn.removeAll(socket))
                    --owner->loggedIn;
                sockets.removeAll(socket);
                socket->deleteLater();
            });
        }
    }

    bool backedUp() const
    {
        for (QWebSocket *socket : loggedIn) {
            if (socket->bytesToWrite() > SendBufferLimit)
                return true;
        }
        return false;
    }

    void sendToAll(const QString &text)
    {
        for (QWebSocket *socket : qAsConst(loggedIn))
            socket->sendTextMessage(text);
    }

    void sendDue()
    {
        const qint64 elapsedNs = clock.nsecsElapsed();
        const bool counted = plan.replies > 0;
        const bool over = counted ? report.prices >= plan.replies : elapsedNs >= qint64(plan.durationMs) * 1000000;
        const qint64 due = counted ? plan.replies
                           : over  ? report.prices
                                   : qint64(double(elapsedNs) * plan.framesPerSecond / 1e9);
        while (report.prices < due && !backedUp()) {
            const qint64 seq = report.prices++;
            const auto nameAt = [this](qint64 index) {
                return plan.names.isEmpty() ? symbolName(int(index % qMax(1, plan.symbols)))
                                            : plan.names.at(int(index % plan.names.size()));
            };
            const bool chart = plan.resCode == 3 && plan.bars > 0;
            const QString symbol = plan.resCode == 2 && plan.nameLength > 0 ? longSymbolName(seq, plan.nameLength)
                                   : chart && seq % 2 == 0                 ? QStringLiteral("EURUSD")
                                   : chart                                 ? nameAt(seq / 2)
                                                                           : nameAt(plan.resCode == 8 ? seq * plan.listLength : seq);
            const double bid = 1.0 + double(seq % 100000) * 1e-5;
            if (chart) {
                const int interval = seq % 2 == 0 ? int(seq / 2 + 1) : 60;
                const qint64 length = qint64(interval) * 60;
                const qint64 first = 1700000000 - 1700000000 % length;
                QStringList bars;
                for (int k = 0; k < plan.bars; ++k) {
                    const double open = bid + k * 1e-5;
                    bars.append(QStringLiteral(R"({"datetime":%1,"open":%2,"high":%3,"low":%4,"close":%5})")
                                    .arg(first + k * length)
                                    .arg(open, 0, 'f', 5)
                                    .arg(open + 2e-5, 0, 'f', 5)
                                    .arg(open - 2e-5, 0, 'f', 5)
                                    .arg(open + 1e-5, 0, 'f', 5));
                }
                sendToAll(QStringLiteral(R"({"res_code":3,"symbol":"%1","interval":%2,"array":[%3]})")
                              .arg(symbol, QString::number(interval), bars.join(QLatin1Char(','))));
            } else if (plan.resCode != 2) {
                QStringList elements;
                for (int k = 0; plan.resCode == 8 && k < plan.listLength; ++k) {
                    const qint64 index = seq * plan.listLength + k;
                    const QString listed = plan.nameLength > 0 ? longSymbolName(index, plan.nameLength) : nameAt(index);
                    elements.append(description.isEmpty()
                                        ? QStringLiteral(R"({"symbol":"%1","seq":%2,"c_size":%2})").arg(listed).arg(seq)
                                        : QStringLiteral(R"({"symbol":"%1","seq":%2,"c_size":%2,"desc":"%3","path":"%3"})")
                                              .arg(listed, QString::number(seq), description));
                    if (plan.noteSymbols)
                        report.lastSeqOfSymbol.insert(listed, seq);
                }
                const QString array = QLatin1Char('[') + elements.join(QLatin1Char(',')) + QLatin1Char(']');
                sendToAll(QStringLiteral(R"({"res_code":%1,"is_last":1,"array":%5,"symbol":"%2","seq":%3,"pad":"%4"})")
                              .arg(plan.resCode).arg(symbol).arg(seq).arg(QString(plan.padding, QLatin1Char('x')), array));
            } else {
                sendToAll(QStringLiteral(R"({"res_code":2,"symbol":"%1","timestamp":1700000000,"tm_ms":1700000000123,)"
                                         R"("bid":%2,"ask":%3,"digits":5,"volume":1,"seq":%4})")
                              .arg(symbol, QString::number(bid, 'f', 5), QString::number(bid + 0.00012, 'f', 5),
                                   QString::number(seq)));
            }
            if (plan.noteSymbols)
                report.lastSeqOfSymbol.insert(symbol, seq);
            if (plan.tradeResultEvery > 0 && report.prices % plan.tradeResultEvery == 0) {
                sendToAll(QStringLiteral(R"({"res_code":7,"status":10009,"msg":"Done","type":0,"seq":%1})")
                              .arg(report.tradeResults++));
            }
        }
        if (!over)
            return;
        pace->stop();
        report.endSentNs = steadyNs();
        sendToAll(QStringLiteral(R"({"res_code":7,"status":10009,"msg":"Done","type":0,"marker":"end","seq":%1})")
                      .arg(report.tradeResults));
        for (const QString &frame : plan.trailer.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            sendToAll(frame);
        QMetaObject::invokeMethod(owner, [owner = owner, report = report] { emit owner->floodFinished(report); },
                                  Qt::QueuedConnection);
    }

    FloodServer *owner;
    QTcpServer *tcpServer = nullptr;
    QWebSocketServer *server = nullptr;
    QList<QWebSocket *> sockets;
    QList<QPointer<QTcpSocket>> tcpSockets;
    QList<QWebSocket *> loggedIn;
    int nextId = 0;
    Plan plan;
    Report report;
    QString description; // of every listed symbol, made once a flood
    QElapsedTimer clock;
    QTimer *pace;
};

FloodServer::FloodServer(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<Report>();
    worker = new Worker(this);
    worker->moveToThread(&thread);
    thread.start();
}

FloodServer::~FloodServer()
{
    QMetaObject::invokeMethod(worker, [this] { delete worker; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

bool FloodServer::listen(const QHostAddress &address, quint16 port)
{
    bool ok = false;
    QMetaObject::invokeMethod(worker, [&] {
        ok = worker->listen(address, port);
        if (ok)
            listenUrl = worker->url();
    }, Qt::BlockingQueuedConnection);
    return ok;
}

QUrl FloodServer::url() const
{
    return listenUrl;
}

void FloodServer::startFlood(const Plan &plan)
{
    QMetaObject::invokeMethod(worker, [this, plan] { worker->start(plan); }, Qt::QueuedConnection);
}

void FloodServer::sendText(const QString &text)
{
    QMetaObject::invokeMethod(worker, [this, text] { worker->sendText(text); }, Qt::QueuedConnection);
}

void FloodServer::stopReading()
{
    QMetaObject::invokeMethod(worker, [this] { worker->stopReading(); }, Qt::BlockingQueuedConnection);
}

void FloodServer::sendLargeHistory(qint64 deals)
{
    sendLargeReply(R"({"res_code":5,"positions":[],"orders":[],"deals":[)",
                   [](qint64 index) { return (index ? QByteArray(",") : QByteArray()) + largeHistoryDeal(index); }, deals, "]}");
}

void FloodServer::sendLargeReply(const QByteArray &head, std::function<QByteArray(qint64)> record, qint64 count,
                                 const QByteArray &tail, const QString &trailer)
{
    sendLargeReply(head, std::move(record), count, tail, trailer, Pace());
}

void FloodServer::sendLargeReply(const QByteArray &head, std::function<QByteArray(qint64)> record, qint64 count,
                                 const QByteArray &tail, const QString &trailer, const Pace &pace)
{
    QMetaObject::invokeMethod(worker, [=] { worker->sendLargeReply(head, record, count, tail, trailer, pace); }, Qt::QueuedConnection);
}

QByteArray FloodServer::largeHistoryDeal(qint64 index)
{
    // Tickets from 10^9 keep every record the same size.
    return QStringLiteral(R"({"ticket":%1,"order":%1,"position_id":%1,"symbol":"EURUSD","type":0,"entry":0,)"
                          R"("volume":10000,"price":1.10000,"commission":0.00,"swap":0.00,"profit":12.50,)"
                          R"("time":1700000000,"comment":"flood"})")
        .arg(1000000000 + index)
        .toUtf8();
}

QList<FloodServer::Frame> FloodServer::receivedFrames() const
{
    QMutexLocker locker(&framesMutex);
    return frames;
}

int FloodServer::loggedInCount() const
{
    return loggedIn.load();
}

QString FloodServer::symbolName(int index)
{
    return QStringLiteral("FLOOD%1").arg(index, 2, 10, QLatin1Char('0'));
}

QString FloodServer::longSymbolName(qint64 index, int length)
{
    return QStringLiteral("FLOOD%1").arg(index).leftJustified(length, QLatin1Char('N'));
}

void FloodServer::record(int connection, const QString &text)
{
    const qint64 now = steadyNs();
    QMutexLocker locker(&framesMutex);
    frames.append({connection, text, now});
}

} // namespace simbroker
